#include "storage/CalibrationFile.h"
#include "storage/FileSystem.h"
#include "storage/LimitsFile.h"
#include "storage/MemoryFileSystem.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#ifndef _WIN32
#include <unistd.h>
#else
#include <process.h>
#endif

namespace storage {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

std::string Utf8(const fs::path& path) {
    const std::u8string s = path.u8string();
    return std::string(s.begin(), s.end());
}

fs::path FromUtf8(std::string_view s) { return fs::path(std::u8string(s.begin(), s.end())); }

std::optional<Bytes> ReadNative(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteNative(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << Utf8(path);
}

std::vector<std::string> Listing(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(Utf8(entry.path().filename()));
    }
    std::sort(names.begin(), names.end());
    return names;
}

// A fresh folder under the system's temporary folder, removed afterwards.
class TemporaryFolder {
public:
    TemporaryFolder() {
        static std::atomic<int> counter{0};
#ifdef _WIN32
        const long pid = _getpid();
#else
        const long pid = static_cast<long>(getpid());
#endif
        for (int attempt = 0; attempt < 1000; ++attempt) {
            path_ = fs::temp_directory_path() /
                    ("quelmar-storage-" + std::to_string(pid) + "-" + std::to_string(counter.fetch_add(1)));
            if (fs::create_directory(path_)) {
                return;
            }
        }
        ADD_FAILURE() << "no temporary folder";
    }
    ~TemporaryFolder() {
        std::error_code ec;
        // Read-only files left by a test must not stop the clean-up.
        for (const auto& entry : fs::recursive_directory_iterator(path_, ec)) {
            fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ec);
        }
        fs::remove_all(path_, ec);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const fs::path& Path() const { return path_; }

private:
    fs::path path_;
};

const Bytes OLD_CONTENT = {'o', 'l', 'd', ' ', 'c', 'o', 'n', 't', 'e', 'n', 't', '\r', '\n', 0x00, 0xFF};

class RealFileSystemTest : public ::testing::Test {
protected:
    void SetUp() override {
        velsor_ = temp_.Path() / "velsor";
        ASSERT_TRUE(fs::create_directory(velsor_));
    }

    FileSystem& files_ = RealFileSystem();
    TemporaryFolder temp_;
    fs::path velsor_;
};

TEST_F(RealFileSystemTest, ReplaceCreatesTheFileAndLeavesNoTemporary) {
    const fs::path target = velsor_ / "nuevo.lim";
    const Bytes bytes = {1, 2, 3, 0, 255};
    ASSERT_FALSE(files_.Exists(Utf8(target)));
    ASSERT_TRUE(files_.ReplaceFile(Utf8(target), bytes));
    EXPECT_EQ(ReadNative(target), bytes);
    EXPECT_TRUE(files_.Exists(Utf8(target)));
    EXPECT_EQ(Listing(velsor_), std::vector<std::string>{"nuevo.lim"});
}

TEST_F(RealFileSystemTest, ReplacingALongerFileReplacesItWhole) {
    const fs::path target = velsor_ / "turno.est";
    WriteNative(target, Bytes(5000, 'x'));
    const Bytes bytes = {'n', 'e', 'w'};
    ASSERT_TRUE(files_.ReplaceFile(Utf8(target), bytes));
    EXPECT_EQ(ReadNative(target), bytes);
    ASSERT_TRUE(files_.ReplaceFile(Utf8(target), {}));
    EXPECT_EQ(ReadNative(target), Bytes{});
    EXPECT_EQ(Listing(velsor_), std::vector<std::string>{"turno.est"});
}

TEST_F(RealFileSystemTest, MissingFolderFailsAndIsNotCreated) {
    const fs::path target = velsor_ / "falta" / "a.lim";
    EXPECT_FALSE(files_.ReplaceFile(Utf8(target), OLD_CONTENT));
    EXPECT_FALSE(fs::exists(velsor_ / "falta"));
    EXPECT_TRUE(Listing(velsor_).empty());
}

TEST_F(RealFileSystemTest, TargetThatIsAFolderIsLeftAlone) {
    const fs::path target = velsor_ / "carpeta.lim";
    ASSERT_TRUE(fs::create_directory(target));
    WriteNative(target / "dentro", OLD_CONTENT);
    EXPECT_FALSE(files_.ReplaceFile(Utf8(target), Bytes{1, 2}));
    EXPECT_TRUE(fs::is_directory(target));
    EXPECT_EQ(ReadNative(target / "dentro"), OLD_CONTENT);
    EXPECT_EQ(Listing(velsor_), std::vector<std::string>{"carpeta.lim"});
    EXPECT_EQ(files_.ReadFile(Utf8(target), 100), std::nullopt);
}

TEST_F(RealFileSystemTest, ReadOnlyFileKeepsItsContent) {
    const fs::path target = velsor_ / "usb.ini";
    WriteNative(target, OLD_CONTENT);
    fs::permissions(target, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    EXPECT_FALSE(files_.ReplaceFile(Utf8(target), Bytes(20, 0)));
    EXPECT_EQ(ReadNative(target), OLD_CONTENT);
    EXPECT_EQ(Listing(velsor_), std::vector<std::string>{"usb.ini"});
}

TEST_F(RealFileSystemTest, ReadFileGivesAtMostMaxBytes) {
    const fs::path target = velsor_ / "datos.bin";
    Bytes big(100000);
    for (std::size_t i = 0; i < big.size(); ++i) {
        big[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
    }
    ASSERT_TRUE(files_.ReplaceFile(Utf8(target), big));
    EXPECT_EQ(files_.ReadFile(Utf8(target), big.size() + 1), big);
    EXPECT_EQ(files_.ReadFile(Utf8(target), 20), Bytes(big.begin(), big.begin() + 20));
    EXPECT_EQ(files_.ReadFile(Utf8(target), 0), Bytes{});

    WriteNative(velsor_ / "vacio", {});
    EXPECT_EQ(files_.ReadFile(Utf8(velsor_ / "vacio"), 16), Bytes{});
    EXPECT_EQ(files_.ReadFile(Utf8(velsor_ / "no-existe"), 16), std::nullopt);
    EXPECT_FALSE(files_.Exists(Utf8(velsor_ / "no-existe")));
}

TEST_F(RealFileSystemTest, NonAsciiNamesAreUtf8) {
    const std::string name = "L\xC3\xADmites a\xC3\xB1o.lim";
    const std::string target = Utf8(velsor_) + "/" + name;
    const std::array<std::int16_t, 8> limits = {0, 100, 150, 200, 250, 300, 350, 400};
    ASSERT_TRUE(WriteLimitsFile(files_, target, limits));
    EXPECT_EQ(Listing(velsor_), std::vector<std::string>{name});
    EXPECT_TRUE(fs::exists(velsor_ / FromUtf8(name)));
    std::array<std::int16_t, 8> back{};
    ASSERT_TRUE(ReadLimitsFile(files_, target, back));
    EXPECT_EQ(back, limits);
}

#ifndef _WIN32

// Sets or clears an environment variable for one test and puts it back.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        if (value != nullptr) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    }
    ~ScopedEnvironment() {
        if (old_) {
            setenv(name_.c_str(), old_->c_str(), 1);
        } else {
            unsetenv(name_.c_str());
        }
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

TEST(MapPathTest, DriveCPathsMoveUnderTheRoot) {
    ScopedEnvironment root("QUELMAR_DRIVE_C", "/srv/drive");
    EXPECT_EQ(MapPath("c:\\velsor\\usb.ini"), "/srv/drive/velsor/usb.ini");
    EXPECT_EQ(MapPath("C:\\velsor\\usb.ini"), "/srv/drive/velsor/usb.ini");
    EXPECT_EQ(MapPath("C:\\velsor\\"), "/srv/drive/velsor/");
    EXPECT_EQ(MapPath("c:/velsor/a b.lim"), "/srv/drive/velsor/a b.lim");
    EXPECT_EQ(MapPath("C:/velsor\\mixto.est"), "/srv/drive/velsor/mixto.est");
    EXPECT_EQ(MapPath("c:\\"), "/srv/drive/");
}

TEST(MapPathTest, RootWithTrailingSlash) {
    ScopedEnvironment root("QUELMAR_DRIVE_C", "/srv/drive/");
    EXPECT_EQ(MapPath("c:\\velsor\\usb.ini"), "/srv/drive/velsor/usb.ini");
}

TEST(MapPathTest, OtherPathsAreUnchanged) {
    ScopedEnvironment root("QUELMAR_DRIVE_C", "/srv/drive");
    for (const char* path : {"/home/ana/turno.est", "relativo\\con\\barras.lim", "d:\\velsor\\usb.ini", "c:",
                             "c:velsor", "\\\\servidor\\velsor\\a.lim", "", "cc:\\x", "/tmp/c:\\x"}) {
        EXPECT_EQ(MapPath(path), path);
    }
}

TEST(DriveCRootTest, ChoosesTheFirstAvailableFolder) {
    ScopedEnvironment home("HOME", "/home/ana");
    {
        ScopedEnvironment root("QUELMAR_DRIVE_C", "/datos/c");
        ScopedEnvironment xdg("XDG_DATA_HOME", "/xdg");
        EXPECT_EQ(DriveCRoot(), "/datos/c");
    }
    {
        ScopedEnvironment root("QUELMAR_DRIVE_C", "");
        ScopedEnvironment xdg("XDG_DATA_HOME", "/xdg");
        EXPECT_EQ(DriveCRoot(), "/xdg/quelmar/drive_c");
        EXPECT_EQ(MapPath("c:\\velsor\\usb.ini"), "/xdg/quelmar/drive_c/velsor/usb.ini");
    }
    {
        ScopedEnvironment root("QUELMAR_DRIVE_C", nullptr);
        ScopedEnvironment xdg("XDG_DATA_HOME", "");
        EXPECT_EQ(DriveCRoot(), "/home/ana/.local/share/quelmar/drive_c");
    }
    {
        ScopedEnvironment root("QUELMAR_DRIVE_C", nullptr);
        ScopedEnvironment xdg("XDG_DATA_HOME", "relativo");
        EXPECT_EQ(DriveCRoot(), "/home/ana/.local/share/quelmar/drive_c");
    }
}

TEST_F(RealFileSystemTest, ProgramPathsLandUnderTheDriveRoot) {
    ScopedEnvironment root("QUELMAR_DRIVE_C", Utf8(temp_.Path()).c_str());
    const CalibrationData data{2.5f, {0, 100, 150, 200, 250, 300, 350, 400}};
    WriteNative(velsor_ / "usb.ini", Bytes(33, 0x55));
    ASSERT_TRUE(SaveCalibrationFile(files_, data));
    const auto encoded = EncodeCalibration(data);
    EXPECT_EQ(ReadNative(velsor_ / "usb.ini"), Bytes(encoded.begin(), encoded.end()));
    EXPECT_EQ(Listing(velsor_), std::vector<std::string>{"usb.ini"});
    EXPECT_TRUE(files_.Exists("C:\\velsor\\usb.ini"));

    CalibrationData back;
    EXPECT_EQ(LoadCalibrationFile(files_, back), CalibrationLoad::Loaded);
    EXPECT_EQ(back.factor, 2.5f);
    EXPECT_EQ(back.limits, data.limits);
}

TEST_F(RealFileSystemTest, MissingDriveFolderIsNeverCreated) {
    const fs::path absent = temp_.Path() / "sin-crear";
    ScopedEnvironment root("QUELMAR_DRIVE_C", Utf8(absent).c_str());
    CalibrationData out;
    EXPECT_EQ(LoadCalibrationFile(files_, out), CalibrationLoad::Missing);
    EXPECT_FALSE(SaveCalibrationFile(files_, CalibrationData{1.0f, {}}));
    EXPECT_FALSE(files_.Exists(CALIBRATION_FILE_PATH));
    EXPECT_FALSE(fs::exists(absent));
}

#else

TEST(MapPathTest, WindowsPathsAreUnchanged) {
    for (const char* path : {"c:\\velsor\\usb.ini", "C:/velsor/a.lim", "d:\\x", "relativo\\a.lim"}) {
        EXPECT_EQ(MapPath(path), path);
    }
}

#endif

TEST(MemoryFileSystemTest, FailureSwitchesCountDown) {
    MemoryFileSystem memory;
    memory.SetFile("a", {1, 2, 3});
    memory.FailNextReads(2);
    EXPECT_EQ(memory.ReadFile("a", 10), std::nullopt);
    EXPECT_EQ(memory.ReadFile("a", 10), std::nullopt);
    EXPECT_EQ(memory.ReadFile("a", 2), (Bytes{1, 2}));
    EXPECT_EQ(memory.ReadCount(), 3);

    memory.FailNextWrites(1);
    EXPECT_FALSE(memory.ReplaceFile("a", Bytes{9}));
    EXPECT_EQ(memory.File("a"), (Bytes{1, 2, 3}));
    EXPECT_TRUE(memory.ReplaceFile("a", Bytes{9}));
    EXPECT_EQ(memory.File("a"), Bytes{9});
    EXPECT_EQ(memory.WriteCount(), 2);

    memory.RemoveFile("a");
    EXPECT_FALSE(memory.Exists("a"));
    EXPECT_EQ(memory.ReadFile("a", 1), std::nullopt);
}

}  // namespace
}  // namespace storage
