// The target file: round trip, tolerance of damage, and replacement without a torn file.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "state.h"

namespace kb {
namespace {

namespace fs = std::filesystem;

class StateFile : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("kb-state-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    fs::path dir_;
};

TEST_F(StateFile, RoundTripThroughMissingDirectories) {
    fs::path file = dir_ / "a" / "b" / "targets";
    EXPECT_TRUE(LoadTargets(file).empty());
    std::vector<Target> targets = {{"192.168.1.66:26101", "device", "UE43RU7400UXRU"},
                                   {"10.0.0.2:26111", "locked", ""}};
    SaveTargets(file, targets);
    std::vector<Target> back = LoadTargets(file);
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0].serial, "192.168.1.66:26101");
    EXPECT_EQ(back[0].name, "UE43RU7400UXRU");
    EXPECT_EQ(back[1].state, "locked");
    EXPECT_EQ(back[1].name, "");
    // Nothing but the file itself is left in the folder.
    int entries = 0;
    for (const auto& e : fs::directory_iterator(file.parent_path())) {
        (void)e;
        ++entries;
    }
    EXPECT_EQ(entries, 1);

    SaveTargets(file, {targets[1]});
    ASSERT_EQ(LoadTargets(file).size(), 1u);
    EXPECT_TRUE(ForgetTargets(file));
    EXPECT_FALSE(ForgetTargets(file));
    EXPECT_TRUE(LoadTargets(file).empty());
}

TEST_F(StateFile, NamesCannotBreakTheFormat) {
    fs::path file = dir_ / "targets";
    SaveTargets(file, {{"1.2.3.4:26101", "device", "evil\tname\nnext\tline"}});
    std::vector<Target> back = LoadTargets(file);
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].name, "evil name next line");
}

TEST(StateParse, DamagedTextKeepsWhatIsReadable) {
    std::vector<Target> t = ParseTargets(
        "# header\r\n1.2.3.4:26101\tdevice\tA\r\n\n\tno serial\n1.2.3.4:26101\tdevice\tdup\n"
        "with space:1\tdevice\tX\n5.6.7.8:26101\n\x01\x02\x03");
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[0].name, "A");
    EXPECT_EQ(t[1].serial, "5.6.7.8:26101");
    EXPECT_EQ(t[1].state, "device");
}

}  // namespace
}  // namespace kb
