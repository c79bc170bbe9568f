// Every file the program reads at start or on request and refuses (damaged,
// not there when it must be, unreadable, a folder in its place) leaves one
// line in "Debug.txt" and on stderr that names the file and says why.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "core/CMIDI.h"
#include "core/CPresetPool.h"
#include "core/CProgram.h"
#include "engine/CEngine.h"
#include "os/TestFolders.h"
#include "platform/COSystem.h"

namespace {

namespace fs = std::filesystem;

std::string ProgramFile(const std::string& relative) { return testutil::TestFolder() + "/" + relative; }

// The lines the log gained while the object lived.
class NewLogLines {
public:
    NewLogLines() : m_from(testutil::ReadFile(ProgramFile("Debug.txt")).size()) {}
    std::vector<std::string> Get() const {
        const std::string all = testutil::ReadFile(ProgramFile("Debug.txt"));
        std::vector<std::string> lines;
        size_t at = std::min(m_from, all.size());
        while (at < all.size()) {
            const size_t end = all.find('\n', at);
            lines.push_back(all.substr(at, end - at));
            at = end == std::string::npos ? all.size() : end + 1;
        }
        return lines;
    }

private:
    size_t m_from;
};

enum class Damage { kCut, kFolder, kUnreadable, kMissing };

// Puts the damage in place of the file; undone by the destructor, so no
// other test meets it. False when it cannot be made here (an unreadable
// file as root).
struct Damaged {
    Damaged(std::string p, Damage d, const std::string& cut) : path(std::move(p)) {
        fs::create_directories(fs::path(path).parent_path());
        fs::remove_all(path);
        if (d == Damage::kFolder) fs::create_directory(path);
        if (d == Damage::kCut || d == Damage::kUnreadable) testutil::WriteFile(path, cut);
        if (d == Damage::kUnreadable) {
            chmod(path.c_str(), 0);
            possible = geteuid() != 0;
        }
    }
    ~Damaged() { fs::remove_all(path); }
    std::string path;
    bool possible = true;
};

} // namespace

TEST(RefusedFileLog, EachRefusedFileLeavesOneLineWithItsNameAndReason) {
    auto engine = std::make_unique<CEngine>();
    engine->Init();
    CMIDI midi(engine.get(), nullptr);
    struct Case {
        const char* file;  // in the program folder
        Damage damage;
        const char* reason;
        std::function<void()> read;
    };
    auto program = std::make_shared<CProgram>();
    CPresetPool pool;
    auto bank = [&] { program->LoadFactory(); };
    auto scan = [&] { pool.Scan(ProgramFile("Presets")); };
    const std::string learnt = std::string(CMIDI::kLearnFileSize - 7, '\xFF');
    const std::vector<Case> cases = {
        {"Bank/ZavoFactory.qvb", Damage::kCut, "shorter than a bank header (9 bytes)", bank},
        {"Bank/ZavoFactory.qvb", Damage::kFolder, "not a file", bank},
        {"Bank/ZavoFactory.qvb", Damage::kUnreadable, "Permission denied", bank},
        {"Bank/ZavoFactory.qvb", Damage::kMissing, "no such file", bank},
        {"DEFprofiZAVO.fxp", Damage::kCut, "shorter than a preset header (9 bytes)", [&] {
             program->ReadTemplate(0, "DEFprofiZAVO.fxp");
         }},
        {"DEFmicroZAVO.fxp", Damage::kFolder, "not a file", [&] { program->ReadTemplate(1, "DEFmicroZAVO.fxp"); }},
        {"Presets/Factory/Pad.fxp", Damage::kCut, "no body after the 60-byte preset header", scan},
        {"Presets/Factory/Pad.fxp", Damage::kUnreadable, "Permission denied", scan},
        {"Presets/Categories.txt", Damage::kCut, "1 lines that are no file name", scan},
        {"Presets/Categories.txt", Damage::kFolder, "not a file", scan},
        {"QVMIDI.qvm", Damage::kCut, "505 bytes, a learn file has 512", [&] { midi.LoadSettings(); }},
        {"QVMIDI.qvm", Damage::kFolder, "not a file", [&] { midi.LoadSettings(); }},
        {"Tuning/part3.scl", Damage::kFolder, "not a file", [&] { midi.LoadSettings(); }},
        {"Tuning/part4.tun", Damage::kUnreadable, "Permission denied", [&] { midi.LoadSettings(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " " + c.reason);
        const std::string file = c.file;
        const std::string contents = file.ends_with(".qvm") ? learnt : file.ends_with(".qvb") ? "123456789"
                                                                                               : "damaged\n\n";
        Damaged damaged(ProgramFile(file), c.damage, contents);
        if (!damaged.possible) continue;  // as root every file reads
        NewLogLines log;
        ::testing::internal::CaptureStderr();
        c.read();
        const std::string err = ::testing::internal::GetCapturedStderr();
        const std::vector<std::string> lines = log.Get();
        int naming = 0;
        for (const std::string& l : lines)
            if (l.find(c.file) != std::string::npos) {
                ++naming;
                EXPECT_NE(l.find(c.reason), std::string::npos) << l;
                // Also where a user who started the program from a shell
                // looks, and where a log that cannot be written is no loss.
                EXPECT_NE(err.find("zavo: " + l + "\n"), std::string::npos) << err;
            }
        EXPECT_EQ(naming, 1) << ::testing::PrintToString(lines);
    }
    // No controller stays bound by the cut learn file.
    const std::vector<uint8_t> none(CMIDI::kLearnFileSize, 0xFF);
    CMIDI::ReadLearnData(none.data(), none.size());
}
