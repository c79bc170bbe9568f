#include "core/CMultiSample.h"

#include <sys/stat.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "os/OReplaceFile.h"
#include "platform/CDebug.h"
#include "platform/CGlobalData.h"
#include "platform/COSystem.h"

namespace {

constexpr char kMagic[] = "QVMPL";
constexpr char kSampleToken[] = "$SAMPLE$";
constexpr size_t kVersionOffset = 80;
constexpr size_t kValueAOffset = 84;
constexpr size_t kCrossfadeOffset = 88;
constexpr size_t kLoopEnableOffset = 92;
// Zone record offsets.
constexpr size_t kZoneRoot = 128;
constexpr size_t kZoneUpper = 132;
constexpr size_t kZoneLower = 136;
constexpr size_t kZoneFourth = 140;
constexpr size_t kZoneLoopStart = 144;
constexpr size_t kZoneLoopEnd = 148;
constexpr size_t kZoneLoopMode = 152;
constexpr size_t kZoneExtra = 156;

uint32_t GetU32(const unsigned char* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
int32_t GetI32(const unsigned char* p) { return static_cast<int32_t>(GetU32(p)); }
float GetF32(const unsigned char* p) { return std::bit_cast<float>(GetU32(p)); }

void PutU32(unsigned char* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}
void PutI32(unsigned char* p, int32_t v) { PutU32(p, static_cast<uint32_t>(v)); }
void PutF32(unsigned char* p, float v) { PutU32(p, std::bit_cast<uint32_t>(v)); }

bool CopyText(char* out, size_t size, const char* text)
{
    const size_t n = std::strlen(text);
    if (n >= size)
        return false;
    std::memcpy(out, text, n + 1);
    return true;
}

// A layer's file name as stored in a zone record: terminated inside its
// field and a plain name, so that it cannot point out of the sample folder.
bool ValidLayerName(const unsigned char* field)
{
    const void* end = std::memchr(field, 0, CSample::kNameSize);
    if (!end)
        return false;
    const char* name = reinterpret_cast<const char*>(field);
    if (std::strchr(name, '/') || std::strchr(name, '\\'))
        return false;
    return std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0;
}

float ClampFraction(float v) { return std::isfinite(v) ? std::clamp(v, 0.0f, 1.0f) : 0.0f; }

// A float from a file, or its default when it is not a finite number.
float FiniteOr(float v, float fallback, int& replaced)
{
    if (std::isfinite(v))
        return v;
    ++replaced;
    return fallback;
}

} // namespace

CMultiSample::CMultiSample() = default;

CMultiSample::~CMultiSample()
{
    ResetVoices();
}

void CMultiSample::SetFreeGuard(FreeGuard guard, void* context)
{
    freeGuard = guard;
    freeGuardContext = context;
}

void CMultiSample::BeginChange()
{
    if (freeGuard)
        freeGuard(freeGuardContext, this, true);
}

void CMultiSample::EndChange()
{
    if (freeGuard)
        freeGuard(freeGuardContext, this, false);
}

bool CMultiSample::ResolvePath(const char* p, Location& out)
{
    if (!p || !CopyText(out.path, sizeof(out.path), p))
        return false;
    char folder[kPathSize];
    char extension[8];
    SplitPath(p, folder, out.name, extension);
    // SplitPath cuts what does not fit; a cut name would be another file.
    const size_t parts =
        std::strlen(folder) + std::strlen(out.name) + (extension[0] ? 1 + std::strlen(extension) : 0);
    if (!out.name[0] || parts != std::strlen(p))
        return false;
    if (extension[0] && std::strcmp(extension, "qvi") != 0)
        return false;
    const size_t tokenLength = sizeof(kSampleToken) - 1;
    if (std::strncmp(folder, kSampleToken, tokenLength) == 0) {
        const std::string resolved = std::string(g_GlobalData.SamplePath) + (folder + tokenLength);
        return CopyText(out.directory, sizeof(out.directory), resolved.c_str());
    }
    return CopyText(out.directory, sizeof(out.directory), folder);
}

void CMultiSample::SwapIn(ZoneSet& fresh, const Location& where)
{
    ResetVoices();
    for (int z = 0; z < kZones; ++z)
        zones[z].swap(fresh[z]);
    std::memcpy(path, where.path, sizeof(path));
    std::memcpy(directory, where.directory, sizeof(directory));
    std::memcpy(name, where.name, sizeof(name));
}

bool CMultiSample::Open(const char* p)
{
    Location where;
    if (!ResolvePath(p, where))
        return false;
    char file[kPathSize + kNameSize + 8];
    std::snprintf(file, sizeof(file), "%s%s.qvi", where.directory, where.name);

    unsigned char buffer[kFileSize];
    FILE* f = std::fopen(file, "rb");
    if (!f)
        return false;
    const size_t got = std::fread(buffer, 1, sizeof(buffer), f);
    std::fclose(f);
    return OpenResolved(where, std::span<const unsigned char>(buffer, got));
}

bool CMultiSample::OpenBytes(const char* p, std::span<const unsigned char> file)
{
    Location where;
    return ResolvePath(p, where) && OpenResolved(where, file);
}

bool CMultiSample::OpenResolved(const Location& where, std::span<const unsigned char> file)
{
    if (file.size() < kFileSize || std::memcmp(file.data(), kMagic, 5) != 0)
        return false;
    const unsigned char* buffer = file.data();

    // Everything is read and checked before the loaded multi-sample is
    // touched: a broken file leaves it playing as it was.
    const bool takeBody = buffer[kVersionOffset] == 1;
    int replaced = 0;
    ZoneSet fresh;
    for (int z = 0; z < kZones; ++z) {
        fresh[z] = std::make_unique<CSample>();
        if (!takeBody)
            continue;
        const unsigned char* r = buffer + kZoneOffset + z * kZoneSize;
        CSample& s = *fresh[z];
        for (int l = 0; l < kLayers; ++l) {
            const unsigned char* field = r + l * CSample::kNameSize;
            if (!ValidLayerName(field))
                return false;
            std::memcpy(s.layerFile[l], field, CSample::kNameSize);
        }
        s.rootKey = GetI32(r + kZoneRoot);
        s.upperKey = GetI32(r + kZoneUpper);
        s.lowerKey = GetI32(r + kZoneLower);
        s.fourthKey = GetI32(r + kZoneFourth);
        s.loopStart = FiniteOr(GetF32(r + kZoneLoopStart), s.loopStart, replaced);
        s.loopEnd = FiniteOr(GetF32(r + kZoneLoopEnd), s.loopEnd, replaced);
        s.loopMode = GetU32(r + kZoneLoopMode);
        s.extra[0] = FiniteOr(GetF32(r + kZoneExtra), s.extra[0], replaced);
        s.extra[1] = FiniteOr(GetF32(r + kZoneExtra + 4), s.extra[1], replaced);
        s.SanitizeLoop();
    }
    // The .qvi values rule over whatever the sound files' instrument chunks
    // say; a layer file that cannot be read leaves its layer empty.
    for (int z = 0; z < kZones; ++z)
        for (int l = 0; l < kLayers; ++l)
            if (fresh[z]->layerFile[l][0])
                fresh[z]->LoadLayer(where.directory, where.name, l, false);

    BeginChange();
    SwapIn(fresh, where);
    if (takeBody) {
        // The sinc flag is the whole word: any bit set turns it on, so a
        // stored -0.0 still does; a word that is no finite number reads as
        // the default 0 for both.
        uint32_t wordA = GetU32(buffer + kValueAOffset);
        if (!std::isfinite(std::bit_cast<float>(wordA))) {
            wordA = 0;
            ++replaced;
        }
        valueA = std::bit_cast<float>(wordA);
        sincFlag = wordA != 0 ? 1 : 0;
        loopCrossfade = ClampFraction(FiniteOr(GetF32(buffer + kCrossfadeOffset), 0.0f, replaced));
        loopEnable = GetU32(buffer + kLoopEnableOffset);
    }
    loaded = 1;
    dirty = 0;
    EndChange();
    if (replaced) {
        char line[kNameSize + 96];
        std::snprintf(line, sizeof(line),
                      "multi-sample \"%s\": %d values that are not finite numbers read as their defaults", name,
                      replaced);
        CDebug::Log(line);
    }
    return true; // the old zones, now in fresh, go here, outside the guard
}

void CMultiSample::OpenIfChanged(const char* p)
{
    if (p && std::strcmp(p, path) != 0)
        Open(p);
}

bool CMultiSample::New(const char* p)
{
    Location where;
    if (!ResolvePath(p, where))
        return false;
    char folder[kPathSize + kNameSize + 8];
    std::snprintf(folder, sizeof(folder), "%s%s_s", where.directory, where.name);
    struct stat st {};
    if (MakeDirectory(folder) != 0 && !(stat(folder, &st) == 0 && S_ISDIR(st.st_mode)))
        return false;

    ZoneSet fresh;
    for (auto& z : fresh)
        z = std::make_unique<CSample>();
    BeginChange();
    SwapIn(fresh, where);
    valueA = 0.0f;
    loopCrossfade = 0.0f;
    loopEnable = 0;
    loaded = 1;
    dirty = 1;
    EndChange();
    return true;
}

bool CMultiSample::Save(std::string* failures)
{
    if (!dirty)
        return true;
    if (!loaded)
        return false;

    unsigned char buffer[kFileSize] = {};
    std::memcpy(buffer, kMagic, 5);
    buffer[kVersionOffset] = 1;
    PutF32(buffer + kValueAOffset, valueA);
    PutF32(buffer + kCrossfadeOffset, loopCrossfade);
    PutU32(buffer + kLoopEnableOffset, loopEnable);
    const CSample defaults;
    for (int z = 0; z < kZones; ++z) {
        const CSample& s = zones[z] ? *zones[z] : defaults;
        unsigned char* r = buffer + kZoneOffset + z * kZoneSize;
        for (int l = 0; l < kLayers; ++l)
            std::memcpy(r + l * CSample::kNameSize, s.layerFile[l],
                        strnlen(s.layerFile[l], CSample::kNameSize - 1));
        PutI32(r + kZoneRoot, s.rootKey);
        PutI32(r + kZoneUpper, s.upperKey);
        PutI32(r + kZoneLower, s.lowerKey);
        PutI32(r + kZoneFourth, s.fourthKey);
        PutF32(r + kZoneLoopStart, s.loopStart);
        PutF32(r + kZoneLoopEnd, s.loopEnd);
        PutU32(r + kZoneLoopMode, s.loopMode);
        PutF32(r + kZoneExtra, s.extra[0]);
        PutF32(r + kZoneExtra + 4, s.extra[1]);
    }

    // A failed write never leaves a half-written multi-sample behind, and
    // says so: the multi-samples are saved with the user's bank or project.
    char file[kPathSize + kNameSize + 8];
    std::snprintf(file, sizeof(file), "%s%s.qvi", directory, name);
    if (!os::ReplaceFileOrSay(file, buffer, sizeof(buffer), failures))
        return false;
    dirty = 0;
    return true;
}

bool CMultiSample::AssignZoneFile(const char* sourcePath, int zone, int layer)
{
    CSample* s = EditZone(zone);
    if (!s || !sourcePath || layer < 0 || layer >= kLayers)
        return false;
    char fileName[CSample::kNameSize + 1];
    FileNameOf(sourcePath, fileName);
    if (!fileName[0] || std::strlen(fileName) >= CSample::kNameSize)
        return false;
    char target[kPathSize * 2 + kNameSize + 8];
    const int n =
        std::snprintf(target, sizeof(target), "%s%s_s/%s", directory, name, fileName);
    if (n < 0 || static_cast<size_t>(n) >= sizeof(target))
        return false;
    // Read before copying, so that a file that cannot be played leaves no
    // copy behind in the sample folder.
    CSample::Layer data;
    CSample::Instrument instrument;
    if (!CSample::ReadSoundFile(sourcePath, data, &instrument, s->lastError, sizeof(s->lastError)))
        return false;
    if (!CopyFileBytes(target, sourcePath)) {
        CSample::FreeData(data);
        return false;
    }
    BeginChange();
    ResetVoices();
    s->InstallLayer(layer, data);
    std::memcpy(s->layerFile[layer], fileName, std::strlen(fileName) + 1);
    s->ApplyInstrument(instrument);
    dirty = 1;
    EndChange();
    return true;
}

void CMultiSample::ClearZoneLayer(int zone, int layer)
{
    CSample* s = EditZone(zone);
    if (!s || layer < 0 || layer >= kLayers)
        return;
    BeginChange();
    ResetVoices();
    s->FreeLayer(layer);
    // Without its name a cleared layer stays cleared after a save and reload.
    s->layerFile[layer][0] = '\0';
    dirty = 1;
    EndChange();
}

void CMultiSample::ResetVoices()
{
    for (auto& v : voices)
        for (VoiceLayer& l : v)
            l = VoiceLayer{};
    std::fill(std::begin(pitchScale), std::end(pitchScale), 0.0f);
}

float CMultiSample::StartVoice(int voice, float pitch, float velocity)
{
    if (!loaded)
        return 0.0f;
    if (voice < 0 || voice >= kVoices)
        return -1.0f;
    for (VoiceLayer& l : voices[voice])
        l = VoiceLayer{};
    pitchScale[voice] = 0.0f;
    if (!std::isfinite(pitch))
        return -1.0f;

    // Rounded: pitches of whole keys come out a hair below the key in
    // floating point and must not fall into the zone below.
    const float keyValue = std::clamp(pitch * 16.0f * 12.0f + 69.0f, -1000.0f, 1000.0f);
    const int key = static_cast<int>(std::lround(keyValue));
    int best = -1;
    for (int z = 0; z < kZones; ++z) {
        const CSample* s = zones[z].get();
        if (!s || !s->loaded || key > s->upperKey || s->upperKey >= 128)
            continue;
        if (best < 0 || s->upperKey < zones[best]->upperKey)
            best = z;
    }
    if (best < 0)
        return -1.0f;
    const CSample& s = *zones[best];

    const bool has0 = s.HasLayer(0);
    const bool has1 = s.HasLayer(1);
    const float vel = std::isfinite(velocity) ? std::clamp(velocity, 0.0f, 127.0f) : 0.0f;
    float gain0 = 1.0f;
    float rate = s.layers[0].sampleRate;
    if (!has0) {
        gain0 = 0.0f;
        rate = s.layers[1].sampleRate;
    } else if (has1) {
        gain0 = 1.0f - vel / 127.0f;
    }
    const float gains[2] = {gain0, 1.0f - gain0};

    for (int n = 0; n < kLayers; ++n) {
        if (!s.HasLayer(n))
            continue;
        VoiceLayer& l = voices[voice][n];
        const CSample::Layer& data = s.layers[n];
        l.sample = s.LayerFrames(n);
        l.frames = data.frames;
        l.endIndex = data.frames;
        l.channelStep = data.channels;
        l.position = 0;
        l.gain = gains[n];
        l.loopStart = static_cast<int32_t>(data.frames * static_cast<double>(s.loopStart));
        l.loopEnd = static_cast<int32_t>(data.frames * static_cast<double>(s.loopEnd));
        if (!(0 <= l.loopStart && l.loopStart < l.loopEnd && l.loopEnd <= data.frames)) {
            l.loopStart = 0;
            l.loopEnd = data.frames;
        }
        const float length =
            ClampFraction(loopCrossfade) * static_cast<float>(l.loopEnd - l.loopStart) * 0.5f;
        // Under one frame there is nothing to blend; the loop then jumps
        // from its end straight to its start.
        l.crossfadeStart = l.loopEnd;
        l.crossfadeRecip = 0.0f;
        const auto start = static_cast<int32_t>(static_cast<float>(l.loopEnd) - length);
        if (length >= 1.0f && start > l.loopStart) {
            l.crossfadeStart = start;
            l.crossfadeRecip = 1.0f / length;
        }
    }

    const int root = std::clamp(s.rootKey, 0, 127);
    const double fRoot = 440.0 * std::exp2((root - 69) / 12.0);
    const double fNote = 440.0 * std::exp2(16.0 * static_cast<double>(pitch));
    const double engineRate = g_GlobalData.sampleRate > 0 ? g_GlobalData.sampleRate : 44100;
    pitchScale[voice] = static_cast<float>(rate / (fRoot * 65536.0 * 512.0));
    const float ratio = static_cast<float>(fNote / fRoot * rate / engineRate);
    return std::isfinite(ratio) ? ratio : -1.0f;
}

void CMultiSample::SetVoiceLayerMix(int voice, float x)
{
    if (voice < 0 || voice >= kVoices)
        return;
    VoiceLayer* l = voices[voice];
    if (l[0].sample && l[1].sample) {
        l[0].gain = 1.0f - x;
        l[1].gain = x;
    }
}

void CMultiSample::MoveLayer(VoiceLayer& l, int direction, int64_t steps, bool looping)
{
    int64_t p = l.position + (direction >= 1 ? steps : -steps);
    if (looping && p >= l.loopEnd) {
        // The jump lands as far behind the loop start as the crossfade is
        // long, where the blended material left off.
        const int64_t jump = l.crossfadeStart - l.loopStart;
        if (jump > 0)
            p = l.loopEnd - jump + (p - l.loopEnd) % jump;
    }
    l.position = static_cast<int32_t>(std::clamp<int64_t>(p, -1, l.endIndex));
}

float CMultiSample::ReadLayer(VoiceLayer& l, int direction)
{
    if (!l.sample || l.position < 0 || l.position >= l.endIndex)
        return 0.0f;
    const bool looping = loopEnable != 0;
    const int32_t pos = l.position;
    // This path is mono: a stereo layer gives (L + R) / 2, the same mix the
    // block renderer's mono output has, so the quality switch changes neither
    // level nor content. Positions and loop points count frames.
    const int ch = l.channelStep;
    auto frame = [&](int32_t at) {
        const float* f = l.sample + static_cast<size_t>(at) * ch;
        return ch == 2 ? (f[0] + f[1]) * 0.5f : f[0];
    };
    float value = frame(pos);
    if (looping && l.crossfadeStart < pos && pos < l.loopEnd) {
        const float f = static_cast<float>(pos - l.crossfadeStart) * l.crossfadeRecip;
        const int32_t other = l.loopStart + (pos - l.crossfadeStart);
        value = value * (1.0f - f) + frame(other) * f;
    }
    MoveLayer(l, direction, 1, looping);
    return value;
}

float CMultiSample::NextSample(int voice, int direction)
{
    if (voice < 0 || voice >= kVoices)
        return 0.0f;
    float out = 0.0f;
    for (VoiceLayer& l : voices[voice])
        if (l.sample)
            out += l.gain * ReadLayer(l, direction);
    return out;
}

void CMultiSample::AdvanceVoice(int voice, int direction, int frames)
{
    if (voice < 0 || voice >= kVoices || frames <= 0)
        return;
    for (VoiceLayer& l : voices[voice])
        if (l.sample)
            MoveLayer(l, direction, frames, loopEnable != 0);
}

bool CMultiSample::GetVoiceLayer(int voice, int layer, SampleLayerView& out) const
{
    out = SampleLayerView{};
    if (voice < 0 || voice >= kVoices || layer < 0 || layer >= kLayers)
        return false;
    const VoiceLayer& l = voices[voice][layer];
    if (!l.sample)
        return false;
    out.data = l.sample;
    out.frames = l.frames;
    out.channels = l.channelStep;
    out.loopStart = l.loopStart;
    out.loopEnd = l.loopEnd;
    out.position = l.position;
    return true;
}

float CMultiSample::GetVoicePitchScale(int voice) const
{
    return voice >= 0 && voice < kVoices ? pitchScale[voice] : 0.0f;
}

void CMultiSample::SetVoicePosition(int voice, int layer, int32_t frames)
{
    if (voice < 0 || voice >= kVoices || layer < 0 || layer >= kLayers)
        return;
    VoiceLayer& l = voices[voice][layer];
    if (l.sample)
        l.position = std::clamp(frames, -1, l.endIndex);
}

void CMultiSample::GetStoredPath(char* out, size_t size) const
{
    if (!out || !size)
        return;
    const char* samplePath = g_GlobalData.SamplePath;
    const size_t n = std::strlen(samplePath);
    std::string stored;
    if (n == 0 || std::strncmp(directory, samplePath, n) != 0)
        stored = std::string(directory) + name;
    else
        stored = std::string(kSampleToken) + (directory + n) + name;
    std::replace(stored.begin(), stored.end(), '\\', '/');
    if (stored.size() >= size)
        stored.clear(); // a cut path would name another file
    std::memcpy(out, stored.c_str(), stored.size() + 1);
}

const CSample* CMultiSample::Zone(int zone) const
{
    if (!loaded || zone < 0 || zone >= kZones)
        return nullptr;
    return zones[zone].get();
}

CSample* CMultiSample::EditZone(int zone)
{
    return const_cast<CSample*>(Zone(zone));
}

void CMultiSample::GetName(char* out, size_t size) const
{
    if (!out || !size)
        return;
    std::snprintf(out, size, "%s", loaded ? name : "");
}

void CMultiSample::GetZoneFileName(int zone, int layer, char* out, size_t size) const
{
    if (!out || !size)
        return;
    const CSample* s = Zone(zone);
    const bool valid = s && layer >= 0 && layer < kLayers;
    std::snprintf(out, size, "%s", valid ? s->layerFile[layer] : "");
}

int32_t CMultiSample::GetZoneRootKey(int zone) const
{
    return ZoneValue(zone, &CSample::rootKey);
}

void CMultiSample::SetZoneRootKey(int zone, int32_t key)
{
    SetZoneValue(zone, &CSample::rootKey, key);
}

int32_t CMultiSample::GetZoneUpperKey(int zone) const
{
    return ZoneValue(zone, &CSample::upperKey);
}

void CMultiSample::SetZoneUpperKey(int zone, int32_t key)
{
    SetZoneValue(zone, &CSample::upperKey, key);
}

float CMultiSample::GetZoneLoopStart(int zone) const
{
    return ZoneValue(zone, &CSample::loopStart);
}

void CMultiSample::SetZoneLoopStart(int zone, float value)
{
    const CSample* s = Zone(zone);
    value = std::isfinite(value) ? std::clamp(value, 0.0f, 1.0f) : 2.0f;
    if (s && value < s->loopEnd)
        SetZoneValue(zone, &CSample::loopStart, value);
}

float CMultiSample::GetZoneLoopEnd(int zone) const
{
    return ZoneValue(zone, &CSample::loopEnd);
}

void CMultiSample::SetZoneLoopEnd(int zone, float value)
{
    const CSample* s = Zone(zone);
    value = std::isfinite(value) ? std::clamp(value, 0.0f, 1.0f) : -1.0f;
    if (s && value > s->loopStart)
        SetZoneValue(zone, &CSample::loopEnd, value);
}

void CMultiSample::SetLoopEnable(uint32_t value)
{
    if (!loaded)
        return;
    loopEnable = value;
    dirty = 1;
}

void CMultiSample::SetLoopCrossfade(float value)
{
    if (!loaded || !std::isfinite(value))
        return;
    loopCrossfade = std::clamp(value, 0.0f, 1.0f);
    dirty = 1;
}

float CMultiSample::GetValueA() const
{
    return loaded ? valueA : 0.0f;
}

void CMultiSample::SetValueA(float value)
{
    if (!loaded)
        return;
    valueA = value;
    dirty = 1;
}
