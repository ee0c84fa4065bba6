#include "storage/FileSystem.h"

#include <gtest/gtest.h>

#include <tuple>
#include <utility>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "storage/CalibrationFile.h"
#include "storage/FileCalls.h"

namespace storage {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

std::string Utf8(const fs::path& path) {
    const std::u8string s = path.u8string();
    return std::string(s.begin(), s.end());
}

void WriteNative(const fs::path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> Listing(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(Utf8(entry.path().filename()));
    std::sort(names.begin(), names.end());
    return names;
}

const Bytes OLD_CONTENT = {'o', 'l', 'd', '\r', '\n', 0x00, 0xFF};

class RealFileSystemTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        ASSERT_TRUE(fs::create_directories(velsor_ /= "quelmar-storage-" + std::to_string(stamp) + "/velsor"));
    }
    void TearDown() override {
        std::error_code ec;
        for (const auto& entry : fs::recursive_directory_iterator(velsor_, ec))
            fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(velsor_.parent_path(), ec);
    }

    FileSystem& files_ = RealFileSystem();
    fs::path velsor_ = fs::temp_directory_path();
};

TEST_F(RealFileSystemTest, ReplaceWritesTheWholeFileAndLeavesNoTemporaryAndReadFileGivesAtMostMaxBytes) {
    const std::string name = "L\xC3\xADmites a\xC3\xB1o.lim", target = Utf8(velsor_) + "/" + name;  // names are UTF-8
    Bytes big(100000);  // many times the read's chunk
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
    for (const Bytes& bytes : {big, Bytes{'n'}, Bytes{}}) {
        ASSERT_TRUE(files_.ReplaceFile(target, bytes));
        EXPECT_EQ(files_.ReadFile(target, big.size() + 1), bytes);
        EXPECT_EQ(files_.ReadFile(target, 20),
                  Bytes(bytes.begin(), bytes.size() > 20 ? bytes.begin() + 20 : bytes.end()));
        EXPECT_EQ(files_.ReadFile(target, 0), Bytes{});
        EXPECT_EQ(Listing(velsor_), std::vector<std::string>{name});
    }
    EXPECT_EQ(files_.ReadFile(Utf8(velsor_ / "no-existe"), 16), std::nullopt);
    EXPECT_EQ(files_.LastFailure(), FileFailure::NotFound);
    EXPECT_EQ(files_.ReadFile(Utf8(velsor_ / "falta" / "a.lim"), 16), std::nullopt);
    EXPECT_EQ(files_.LastFailure(), FileFailure::FolderMissing);
}

TEST_F(RealFileSystemTest, FailedReplaceLeavesEverythingAsItWas) {
    // A missing folder (never created), a folder in the file's place, a read-only file.
    ASSERT_TRUE(fs::create_directory(velsor_ / "carpeta.lim"));
    WriteNative(velsor_ / "carpeta.lim" / "dentro", OLD_CONTENT);
    WriteNative(velsor_ / "usb.ini", OLD_CONTENT);
    fs::permissions(velsor_ / "usb.ini", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    for (const auto& [name, why] : {std::pair{"falta/a.lim", FileFailure::FolderMissing},
                                    {"carpeta.lim", FileFailure::Other},
                                    {"usb.ini", FileFailure::ReadOnly}}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(files_.ReplaceFile(Utf8(velsor_) + "/" + name, Bytes(20, 0)));
        EXPECT_EQ(files_.LastFailure(), why);
        EXPECT_EQ(Listing(velsor_), (std::vector<std::string>{"carpeta.lim", "usb.ini"}));
    }
    EXPECT_EQ(files_.ReadFile(Utf8(velsor_ / "carpeta.lim" / "dentro"), 100), OLD_CONTENT);
    EXPECT_EQ(files_.ReadFile(Utf8(velsor_ / "usb.ini"), 100), OLD_CONTENT);
    EXPECT_EQ(files_.ReadFile(Utf8(velsor_ / "carpeta.lim"), 100), std::nullopt);
}

// Low-level calls that note themselves and succeed on descriptor 7, except those starting with `failing` (EIO).
struct RecordingCalls final : FileCalls {
    int OpenForReading(const fs::path&) override { return -1; }
    int CreateExclusive(const fs::path& path) override { return Note("create " + Utf8(path.filename())) ? 7 : -1; }
    long ReadSome(int, std::uint8_t*, std::size_t) override { return -1; }
    long WriteSome(int fd, const std::uint8_t*, std::size_t size) override {
        return Note("write " + std::to_string(fd) + " " + std::to_string(size)) ? static_cast<long>(size) : -1;
    }
    bool FlushToDisk(int fd) override { return Note("flush " + std::to_string(fd)); }
    bool Close(int fd) override { return Note("close " + std::to_string(fd)); }
    bool Rename(const fs::path& from, const fs::path& to) override {
        return Note("rename " + Utf8(from.filename()) + " " + Utf8(to.filename()));
    }
    void Remove(const fs::path& path) override { static_cast<void>(Note("remove " + Utf8(path.filename()))); }
    void FlushFolder(const fs::path& folder) override { static_cast<void>(Note("flush " + Utf8(folder.filename()))); }
    long ProcessId() override { return 42; }
    bool Note(const std::string& call) {
        log += call + "; ";
        errno = call.rfind("write", 0) == 0 ? ENOSPC : EIO;  // a full disk shows at a write
        return failing.empty() || call.rfind(failing, 0) != 0;
    }
    std::string log, failing;
};

// The calibration file replaced: the temporary's bytes reach the disk before it takes the file's place, and the
// folder's entry after; a failed step still closes the temporary, then removes it and renames nothing, and the
// first failure gives the cause.
TEST(FileCallsTest, AReplacedFileIsFlushedBeforeItsRenameAndAFailedStepLeavesNoTemporary) {
    RecordingCalls calls;
    const auto files = MakeFileSystem(calls);
    // The call that fails, the calls made.
    const std::pair<const char*, const char*> cases[] = {
        {"", "create usb.ini.42-0.tmp; write 7 20; flush 7; close 7; rename usb.ini.42-0.tmp usb.ini; flush velsor; "},
        {"write", "create usb.ini.42-1.tmp; write 7 20; flush 7; close 7; remove usb.ini.42-1.tmp; "},
        {"flush 7", "create usb.ini.42-2.tmp; write 7 20; flush 7; close 7; remove usb.ini.42-2.tmp; "},
        {"close", "create usb.ini.42-3.tmp; write 7 20; flush 7; close 7; remove usb.ini.42-3.tmp; "},
    };
    for (const auto& [failing, expected] : cases) {
        calls.failing = failing;
        EXPECT_EQ(SaveCalibrationFile(*files, CalibrationData{}), *failing == '\0') << failing;
        EXPECT_EQ(std::exchange(calls.log, {}), expected);
        if (*failing != '\0') {
            EXPECT_EQ(files->LastFailure(), *failing == 'w' ? FileFailure::DiskFull : FileFailure::Other);
        }
    }
}

#ifndef _WIN32

struct ScopedEnvironment {
    ScopedEnvironment(const char* variable, const char* value) : name(variable) {
        if (const char* before = std::getenv(variable)) old = before;
        value ? setenv(variable, value, 1) : unsetenv(variable);
    }
    ~ScopedEnvironment() { old ? setenv(name.c_str(), old->c_str(), 1) : unsetenv(name.c_str()); }
    std::string name;
    std::optional<std::string> old;
};

// QUELMAR_DRIVE_C, else an absolute XDG_DATA_HOME, else the home folder; a trailing slash is not doubled.
TEST(MapPathTest, DriveCPathsMoveUnderTheFirstAvailableRootOthersAreUnchanged) {
    ScopedEnvironment home("HOME", "/home/ana");
    // clang-format off
    const std::tuple<const char*, const char*, std::string> roots[] = {
        // QUELMAR_DRIVE_C, XDG_DATA_HOME, the root
        {"/srv/drive", "/xdg", "/srv/drive"}, {"/srv/drive/", nullptr, "/srv/drive/"},
        {"", "/xdg", "/xdg/quelmar/drive_c"}, {nullptr, "", "/home/ana/.local/share/quelmar/drive_c"},
        {nullptr, "relativo", "/home/ana/.local/share/quelmar/drive_c"},
    };
    const std::pair<const char*, const char*> moved[] = {{"c:\\velsor\\usb.ini", "/velsor/usb.ini"},
        {"C:\\velsor\\", "/velsor/"}, {"c:/velsor/a b.lim", "/velsor/a b.lim"},
        {"C:/velsor\\mixto.est", "/velsor/mixto.est"}, {"c:\\", "/"}};
    // clang-format on
    for (const auto& [drive, xdg, root] : roots) {
        ScopedEnvironment setDrive("QUELMAR_DRIVE_C", drive), setXdg("XDG_DATA_HOME", xdg);
        EXPECT_EQ(DriveCRoot(), root);
        const std::string base = root.ends_with('/') ? root.substr(0, root.size() - 1) : root;
        for (const auto& [path, under] : moved) EXPECT_EQ(MapPath(path), base + under) << root;
        for (const char* path : {"/home/ana/turno.est", "relativo\\con\\barras.lim", "d:\\velsor\\usb.ini",
                                 "c:", "c:velsor", "\\\\servidor\\velsor\\a.lim", "", "cc:\\x", "/tmp/c:\\x"})
            EXPECT_EQ(MapPath(path), path);
    }
}

#else

TEST(MapPathTest, WindowsPathsAreUnchanged) {
    for (const char* path : {"c:\\velsor\\usb.ini", "C:/velsor/a.lim", "d:\\x", "relativo\\a.lim"})
        EXPECT_EQ(MapPath(path), path);
}

#endif

}  // namespace
}  // namespace storage
