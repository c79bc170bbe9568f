// Writes the window's layout file from its readable source: the panel
// images (one background per page with its section frames and titles) are
// drawn here with the drawing context and the built-in font, the widgets are
// made by the widget factory from their lines, and the file is written by
// the layout writer, so it is exactly what the program saves.
//
//   zavo_make_layout <Layout.txt> <output file>
//
// Source lines ('#' starts a comment):
//   page  <n> <title>                          a page and its title; a second title
//                                              after '|' gives the panel "page<n>.1",
//                                              shown when a part of another type than
//                                              profi lands on one of profi's pages
//   frame <pages> <x> <y> <w> <h> [title]      a section frame on those pages (no
//                                              title: a plain well)
//   label <pages> <x> <y> <text>               a caption printed on the panel
//   button <name> <w> <h> <text>               images "<name>.off" and "<name>.on"
//   picture <name> <w> <h> <text>              image "<name>": the text in amber on the
//                                              header's colour, lines split at '|', the
//                                              first line the title
//   dialog <id> <x> <y> <w> <h> <title>        a dialog frame ("DLOG") and its panel
//                                              image "dialog<id>"; titles parted by
//                                              '|' give one panel per opening argument
//                                              ("dialog<id>", "dialog<id>.1", ...)
//   <TAG> <group> <index> <sub> <pages> <x> <y> <w> <h> [p<k>=<n>|img<k>=<name>|dlg=<id>|opens=<id>|layer=<n>]...
// Pages are "all", a number, a range "a-b" or a list "a,b,c-d". Frames and
// labels whose pages are "d<id>" are drawn on that dialog's panel instead (in
// window coordinates, as the dialog's widgets are). A widget with dlg=<id>
// belongs to that dialog and lies above its panel (layer 11 unless given).
// A button bound to nothing (0 0 0) with opens=<id> opens that dialog.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "gui/CDIBitmap.h"
#include "gui/GUIButton.h"
#include "gui/CGLBitmapCache.h"
#include "gui/CUnifiedDC.h"
#include "gui/GUIResource.h"
#include "tools/LayoutFixtures.h"

namespace {

constexpr int kWidth = 960, kHeight = 650;
constexpr int kHeaderHeight = 76;
constexpr int kPageTitleX = 692, kPageTitleY = 55;

// One colour scheme for every panel (0x00BBGGRR).
constexpr CUnifiedDC::Colour kPanel = 0x2B2925;
constexpr CUnifiedDC::Colour kHeader = 0x1E1C1A;
constexpr CUnifiedDC::Colour kSection = 0x37342F;
constexpr CUnifiedDC::Colour kFrameLine = 0x6E6A62;
constexpr CUnifiedDC::Colour kTitleBar = 0x4A4640;
constexpr CUnifiedDC::Colour kTitleInk = 0x9CD8F0;  // warm amber
constexpr CUnifiedDC::Colour kPageInk = 0xE8E8E8;

struct Frame {
    uint32_t pages;
    int dialog;  // drawn on this dialog's panel instead of the pages
    int x, y, w, h;
    std::string title;
};
struct Label {
    uint32_t pages;
    int dialog;
    int x, y;
    std::string text;
};
struct Dialog {
    int id;
    int x, y, w, h;
    std::vector<std::string> titles;  // one panel per opening argument
};
struct ButtonFace {
    std::string name;
    int w, h;
    std::string text;
};

bool Fail(int line, const std::string& why)
{
    fprintf(stderr, "Layout source line %d: %s\n", line, why.c_str());
    return false;
}

bool ParsePages(const std::string& text, uint32_t& mask)
{
    mask = 0;
    if (text == "all") {
        mask = 0xFFFF;
        return true;
    }
    std::stringstream in(text);
    std::string part;
    while (std::getline(in, part, ',')) {
        int a = 0, b = 0;
        char dash = 0;
        if (sscanf(part.c_str(), "%d%c%d", &a, &dash, &b) == 3 && dash == '-') {
        } else if (sscanf(part.c_str(), "%d", &a) == 1) {
            b = a;
        } else {
            return false;
        }
        if (a < 0 || b > 15 || a > b) return false;
        for (int p = a; p <= b; ++p) mask |= 1u << p;
    }
    return mask != 0;
}

// "d<id>" names a dialog's panel: the mask is 0 and the id comes back.
bool ParsePanel(const std::string& text, uint32_t& mask, int& dialog)
{
    dialog = 0;
    if (text.size() > 1 && text[0] == 'd') {
        mask = 0;
        char* end = nullptr;
        const long id = strtol(text.c_str() + 1, &end, 10);
        if (*end || id < 1 || id > 0xFFFF) return false;
        dialog = int(id);
        return true;
    }
    return ParsePages(text, mask);
}

std::string Rest(std::istringstream& in)
{
    std::string s;
    std::getline(in, s);
    const size_t start = s.find_first_not_of(' ');
    return start == std::string::npos ? "" : s.substr(start, s.find_last_not_of(' ') - start + 1);
}

// The section frames and captions of one page (dialog 0) or one dialog's
// panel, moved by (dx, dy).
void DrawSections(CUnifiedDC& dc, int page, int dialog, int dx, int dy, const std::vector<Frame>& frames,
                  const std::vector<Label>& labels)
{
    const auto shown = [&](uint32_t pages, int d) { return dialog ? d == dialog : d == 0 && (pages >> page & 1); };
    const int titleHeight = dc.Font().GetHeight() + 4;
    for (const Frame& f : frames) {
        if (!shown(f.pages, f.dialog)) continue;
        const int x = f.x + dx, y = f.y + dy;
        dc.SetColor(kSection);
        dc.FillRect(x, y, x + f.w, y + f.h, 1.0f);
        // A frame without a title is a plain well (the 8D pad's square).
        if (!f.title.empty()) {
            dc.SetColor(kTitleBar);
            dc.FillRect(x, y, x + f.w, y + titleHeight, 1.0f);
        }
        dc.SetColor(kFrameLine);
        dc.FrameRect(x, y, x + f.w, y + f.h);
        dc.SetColor(kTitleInk);
        dc.DrawText(x + 6, y + 2, f.title.c_str(), CUnifiedDC::kTextTransparent);
    }
    dc.SetColor(kPageInk);
    for (const Label& l : labels)
        if (shown(l.pages, l.dialog))
            dc.DrawText(l.x + dx, l.y + dy, l.text.c_str(), CUnifiedDC::kTextCentre | CUnifiedDC::kTextTransparent);
}

void DrawPage(CUnifiedDC& dc, int page, const std::string& title, const std::vector<Frame>& frames,
              const std::vector<Label>& labels)
{
    dc.SetClip(0, 0, kWidth, kHeight);
    dc.SetColor(kPanel);
    dc.FillRect(0, 0, kWidth, kHeight, 1.0f);
    dc.SetColor(kHeader);
    dc.FillRect(0, 0, kWidth, kHeaderHeight, 1.0f);
    dc.SetColor(kFrameLine);
    dc.FillRect(0, kHeaderHeight, kWidth, kHeaderHeight + 1, 1.0f);
    dc.SetColor(kTitleInk);
    // The page's name beside the page buttons says where the musician is.
    dc.DrawText(kPageTitleX, kPageTitleY, title.c_str(), CUnifiedDC::kTextTransparent);
    DrawSections(dc, page, 0, 0, 0, frames, labels);
}

// A dialog's panel at the origin: the title bar with its close box (where the
// dialog's own click closes it), then its sections and captions.
void DrawDialog(CUnifiedDC& dc, const Dialog& d, const std::string& title, const std::vector<Frame>& frames,
                const std::vector<Label>& labels)
{
    dc.SetClip(0, 0, kWidth, kHeight);
    dc.SetColor(kPanel);
    dc.FillRect(0, 0, d.w, d.h, 1.0f);
    dc.SetColor(kTitleBar);
    dc.FillRect(0, 0, d.w, 20, 1.0f);
    dc.SetColor(kFrameLine);
    dc.FrameRect(0, 0, d.w, d.h);
    dc.FrameRect(d.w - 18, 2, d.w - 2, 18);
    dc.SetColor(kPageInk);
    dc.MoveTo(float(d.w - 14), 6.0f);
    dc.LineToAA(float(d.w - 6), 14.0f);
    dc.MoveTo(float(d.w - 6), 6.0f);
    dc.LineToAA(float(d.w - 14), 14.0f);
    dc.SetColor(kTitleInk);
    dc.DrawText(8, (20 - dc.Font().GetHeight()) / 2, title.c_str(), CUnifiedDC::kTextTransparent);
    DrawSections(dc, 0, d.id, -d.x, -d.y, frames, labels);
}

// A page button's face: dark when off, lit amber when on, its text centred.
void DrawButtonFace(CUnifiedDC& dc, const ButtonFace& b, bool on)
{
    dc.SetClip(0, 0, kWidth, kHeight);
    dc.SetColor(on ? kTitleInk : kTitleBar);
    dc.FillRect(0, 0, b.w, b.h, 1.0f);
    dc.SetColor(kFrameLine);
    dc.FrameRect(0, 0, b.w, b.h);
    dc.SetColor(on ? kHeader : kPageInk);
    dc.DrawText(b.w / 2, (b.h - dc.Font().GetHeight()) / 2, b.text.c_str(),
                CUnifiedDC::kTextCentre | CUnifiedDC::kTextTransparent);
}

std::string DialogImage(int id, size_t argument)
{
    std::string name = "dialog" + std::to_string(id);
    if (argument) name += '.' + std::to_string(argument);
    return name;
}

// A picture: lines of text centred one under the other, the title line
// underlined, on the header's colour within a thin frame.
void DrawPicture(CUnifiedDC& dc, const ButtonFace& p)
{
    dc.SetClip(0, 0, kWidth, kHeight);
    dc.SetColor(kHeader);
    dc.FillRect(0, 0, p.w, p.h, 1.0f);
    dc.SetColor(kFrameLine);
    dc.FrameRect(0, 0, p.w, p.h);
    std::vector<std::string> lines;
    std::stringstream in(p.text);
    for (std::string line; std::getline(in, line, '|');) lines.push_back(line);
    const int lineHeight = dc.Font().GetHeight() + 4;
    int y = (p.h - lineHeight * int(lines.size())) / 2;
    for (size_t i = 0; i < lines.size(); ++i, y += lineHeight) {
        dc.SetColor(i == 0 ? kTitleInk : kPageInk);
        dc.DrawText(p.w / 2, y, lines[i].c_str(), CUnifiedDC::kTextCentre | CUnifiedDC::kTextTransparent);
        if (i == 0) {
            const int half = (dc.Font().GetTextWidth(lines[i].c_str()) + 3) / 8;
            dc.SetColor(kTitleInk);
            dc.FillRect(p.w / 2 - half, y + lineHeight - 3, p.w / 2 + half, y + lineHeight - 2, 1.0f);
        }
    }
}

bool CopySurface(CUnifiedDC& dc, CDIBitmap& out, int width = kWidth, int height = kHeight)
{
    CDIBitmap* back = dc.GetBackSurface();
    if (!back || !out.Create(width, height, 24)) return false;
    const size_t bpp = back->BytesPerPixel();
    for (int y = 0; y < height; ++y) {
        const uint8_t* src = back->PixelAddress(0, y);
        uint8_t* dst = out.PixelAddress(0, y);
        for (int x = 0; x < width; ++x) {
            dst[3 * x] = src[bpp * x];
            dst[3 * x + 1] = src[bpp * x + 1];
            dst[3 * x + 2] = src[bpp * x + 2];
        }
    }
    return true;
}

bool Build(const char* sourcePath, const char* outPath)
{
    std::ifstream source(sourcePath);
    if (!source) return Fail(0, std::string("cannot open ") + sourcePath);
    std::map<int, std::string> pages;
    std::vector<Frame> frames;
    std::vector<Label> labels;
    std::vector<ButtonFace> buttons;
    std::vector<ButtonFace> pictures;
    std::vector<Dialog> dialogs;
    std::vector<std::pair<int, std::string>> widgetLines;  // line number, text
    std::string text;
    for (int line = 1; std::getline(source, text); ++line) {
        if (const size_t hash = text.find('#'); hash != std::string::npos) text.resize(hash);
        std::istringstream in(text);
        std::string word;
        if (!(in >> word)) continue;
        if (word == "page") {
            int n = -1;
            if (!(in >> n) || n < 0 || n > 15) return Fail(line, "page number outside 0..15");
            pages[n] = Rest(in);
        } else if (word == "frame") {
            Frame f{};
            std::string mask;
            if (!(in >> mask >> f.x >> f.y >> f.w >> f.h) || !ParsePanel(mask, f.pages, f.dialog))
                return Fail(line, "frame needs pages, x, y, w, h and a title");
            f.title = Rest(in);
            frames.push_back(f);
        } else if (word == "label") {
            Label l{};
            std::string mask;
            if (!(in >> mask >> l.x >> l.y) || !ParsePanel(mask, l.pages, l.dialog))
                return Fail(line, "label needs pages, x, y and a text");
            l.text = Rest(in);
            labels.push_back(l);
        } else if (word == "button" || word == "picture") {
            ButtonFace b{};
            if (!(in >> b.name >> b.w >> b.h) || b.w < 4 || b.h < 4 || b.w > kWidth || b.h > kHeight)
                return Fail(line, word + " needs a name, w, h and a text");
            b.text = Rest(in);
            (word == "button" ? buttons : pictures).push_back(b);
        } else if (word == "dialog") {
            Dialog d{};
            if (!(in >> d.id >> d.x >> d.y >> d.w >> d.h) || d.id < 1 || d.id > 0xFFFF || d.w < 40 || d.h < 40 ||
                d.x < 0 || d.y < 0 || d.x + d.w > kWidth || d.y + d.h > kHeight)
                return Fail(line, "dialog needs an id, x, y, w, h inside the window and a title");
            for (const Dialog& other : dialogs)
                if (other.id == d.id) return Fail(line, "dialog " + std::to_string(d.id) + " twice");
            std::stringstream titles(Rest(in));
            for (std::string t; std::getline(titles, t, '|');) d.titles.push_back(t);
            if (d.titles.empty() || d.titles.size() > 16) return Fail(line, "a dialog has 1 to 16 titles");
            dialogs.push_back(d);
        } else {
            widgetLines.emplace_back(line, text);
        }
    }

    // The page backgrounds, named "page<n>", in image slots n + 1.
    CUnifiedDC dc;
    if (!dc.CreateMemory(kWidth, kHeight, 24)) return Fail(0, "no drawing surface");
    std::map<std::string, int> imageIds;
    for (const auto& [page, title] : pages) {
        DrawPage(dc, page, title.substr(0, title.find('|')), frames, labels);
        const std::string name = "page" + std::to_string(page);
        CDIBitmap* slot = CGLBitmapCache::Set(page + 1, name.c_str());
        if (!slot || !CopySurface(dc, *slot)) return Fail(0, "cannot keep image " + name);
        CGLBitmapCache::SetUsed(page + 1, true);
        imageIds[name] = page + 1;
    }

    // Button faces follow the backgrounds, from slot 17 on.
    int nextId = 17;
    for (const ButtonFace& b : buttons)
        for (bool on : {false, true}) {
            const std::string name = b.name + (on ? ".on" : ".off");
            if (nextId > GUIResource::kMaxImageId || imageIds.count(name)) return Fail(0, "cannot keep image " + name);
            DrawButtonFace(dc, b, on);
            CDIBitmap* slot = CGLBitmapCache::Set(nextId, name.c_str());
            if (!slot || !CopySurface(dc, *slot, b.w, b.h)) return Fail(0, "cannot keep image " + name);
            CGLBitmapCache::SetUsed(nextId, true);
            imageIds[name] = nextId++;
        }

    // Pictures follow the button faces.
    for (const ButtonFace& p : pictures) {
        if (nextId > GUIResource::kMaxImageId || imageIds.count(p.name)) return Fail(0, "cannot keep image " + p.name);
        DrawPicture(dc, p);
        CDIBitmap* slot = CGLBitmapCache::Set(nextId, p.name.c_str());
        if (!slot || !CopySurface(dc, *slot, p.w, p.h)) return Fail(0, "cannot keep image " + p.name);
        CGLBitmapCache::SetUsed(nextId, true);
        imageIds[p.name] = nextId++;
    }

    // Dialog panels follow the pictures.
    for (const Dialog& d : dialogs)
        for (size_t k = 0; k < d.titles.size(); ++k) {
            const std::string name = DialogImage(d.id, k);
            if (nextId > GUIResource::kMaxImageId) return Fail(0, "cannot keep image " + name);
            DrawDialog(dc, d, d.titles[k], frames, labels);
            CDIBitmap* slot = CGLBitmapCache::Set(nextId, name.c_str());
            if (!slot || !CopySurface(dc, *slot, d.w, d.h)) return Fail(0, "cannot keep image " + name);
            CGLBitmapCache::SetUsed(nextId, true);
            imageIds[name] = nextId++;
        }
    // The pages' second panels come last, for a part of another type on a
    // profi page.
    for (const auto& [page, title] : pages) {
        const size_t bar = title.find('|');
        if (bar == std::string::npos) continue;
        const std::string name = "page" + std::to_string(page) + ".1";
        if (nextId > GUIResource::kMaxImageId) return Fail(0, "cannot keep image " + name);
        DrawPage(dc, page, title.substr(bar + 1), frames, labels);
        CDIBitmap* slot = CGLBitmapCache::Set(nextId, name.c_str());
        if (!slot || !CopySurface(dc, *slot)) return Fail(0, "cannot keep image " + name);
        CGLBitmapCache::SetUsed(nextId, true);
        imageIds[name] = nextId++;
    }

    for (const Frame& f : frames)
        if (f.dialog && std::none_of(dialogs.begin(), dialogs.end(), [&](const Dialog& d) { return d.id == f.dialog; }))
            return Fail(0, "a frame on dialog " + std::to_string(f.dialog) + ", which has no dialog line");
    for (const Label& l : labels)
        if (l.dialog && std::none_of(dialogs.begin(), dialogs.end(), [&](const Dialog& d) { return d.id == l.dialog; }))
            return Fail(0, "a label on dialog " + std::to_string(l.dialog) + ", which has no dialog line");

    std::vector<std::unique_ptr<GUIObject>> widgets;
    auto background = GUIResource::CreateByTag("BKGD");
    background->w = kWidth, background->h = kHeight, background->layer = 0;
    for (const auto& [page, title] : pages) background->properties[page] = uint32_t(page + 1);
    widgets.push_back(std::move(background));
    for (const Dialog& d : dialogs) {
        fixtures::layout::Widget w{};
        w.tag = "DLOG";
        w.x = uint16_t(d.x), w.y = uint16_t(d.y), w.w = uint16_t(d.w), w.h = uint16_t(d.h);
        w.dialog = uint16_t(d.id), w.layer = 10;
        // The opening argument picks the panel (the sample dialog's oscillator).
        for (size_t k = 0; k < d.titles.size(); ++k) w.properties[k] = uint16_t(imageIds[DialogImage(d.id, k)]);
        fixtures::layout::Bytes record;
        fixtures::layout::Record(record, w);
        auto widget = GUIResource::CreateByTag(w.tag);
        widget->Read(std::span<const uint8_t>(record).subspan(GUIObject::kTagSize));
        widgets.push_back(std::move(widget));
    }

    for (const auto& [line, lineText] : widgetLines) {
        std::istringstream in(lineText);
        std::string tag, mask;
        fixtures::layout::Widget w{};
        int group, index, sub, x, y, width, height;
        if (!(in >> tag >> group >> index >> sub >> mask >> x >> y >> width >> height) || tag.size() != 4)
            return Fail(line, "a widget needs tag, group, index, sub, pages, x, y, w, h");
        uint32_t pageMask = 0;
        if (!ParsePages(mask, pageMask)) return Fail(line, "bad pages " + mask);
        w.tag = tag.c_str();
        w.group = uint16_t(group), w.index = uint16_t(index), w.sub = uint16_t(sub);
        w.x = uint16_t(x), w.y = uint16_t(y), w.w = uint16_t(width), w.h = uint16_t(height);
        w.pageMask = uint16_t(pageMask);
        std::string property;
        bool layerGiven = false;
        while (in >> property) {
            int k = -1;
            char value[80] = {};
            if (sscanf(property.c_str(), "dlg=%d", &k) == 1) {
                if (std::none_of(dialogs.begin(), dialogs.end(), [&](const Dialog& d) { return d.id == k; }))
                    return Fail(line, "no dialog " + std::to_string(k));
                w.dialog = uint16_t(k);
            } else if (sscanf(property.c_str(), "opens=%d", &k) == 1) {
                if (tag != "BTTN" || group != 0 || index != 0 || sub != 0)
                    return Fail(line, "only a button bound to nothing opens a dialog");
                if (std::none_of(dialogs.begin(), dialogs.end(), [&](const Dialog& d) { return d.id == k; }))
                    return Fail(line, "no dialog " + std::to_string(k));
                w.properties[GUIButton::kOpensDialog] = uint16_t(k);
            } else if (sscanf(property.c_str(), "layer=%d", &k) == 1) {
                if (k < 1 || k > 0xFFFF) return Fail(line, "bad layer " + property);
                w.layer = uint16_t(k);
                layerGiven = true;
            } else if (sscanf(property.c_str(), "p%d=%79s", &k, value) == 2 && k >= 0 && k < 16) {
                w.properties[k] = uint16_t(atoi(value));
            } else if (sscanf(property.c_str(), "img%d=%79s", &k, value) == 2 && k >= 1 && k <= 16) {
                if (!imageIds.count(value)) return Fail(line, std::string("no image named ") + value);
                w.properties[k - 1] = uint16_t(imageIds[value]);
            } else {
                return Fail(line, "bad property " + property);
            }
        }
        if (w.dialog && !layerGiven) w.layer = 11;
        if (!GUIResource::CreateByTag(w.tag)) return Fail(line, "unknown tag " + tag);
        if (x < 0 || y < 0 || x + width > kWidth || y + height > kHeight) return Fail(line, "outside the window");
        fixtures::layout::Bytes record;
        fixtures::layout::Record(record, w);
        auto widget = GUIResource::CreateByTag(w.tag);
        widget->Read(std::span<const uint8_t>(record).subspan(GUIObject::kTagSize));
        if (group != 0 || index != 0 || sub != 0) {
            if (widget->binding.group != uint32_t(group) || widget->binding.index != uint32_t(index) ||
                widget->binding.sub != uint32_t(sub))
                return Fail(line, "no parameter " + std::to_string(group) + " " + std::to_string(index) + " " +
                                      std::to_string(sub));
        }
        widgets.push_back(std::move(widget));
    }

    const std::vector<uint8_t> bytes = GUIResource::WriteLayout(widgets);
    FILE* f = fopen(outPath, "wb");
    if (!f) return Fail(0, std::string("cannot write ") + outPath);
    const bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: zavo_make_layout <Layout.txt> <ZAVO.gui>\n");
        return 2;
    }
    return Build(argv[1], argv[2]) ? 0 : 1;
}
