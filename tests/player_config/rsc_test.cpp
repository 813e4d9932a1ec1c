// Resource paths: defaults from the environment, the lookup order, name
// transforms, long paths, the handler, and the text services.
#include <cstring>

#include "fixture.h"

namespace {

using cfgtest::Fixture;

class Resources : public Fixture {
 protected:
  // Opens a resource and reads it whole; nothing when it does not open.
  static std::optional<std::string> slurp(int type, const char *name) {
    Stream68 *s = VK68rsc_share_path(type, name, STREAM68_READ);
    if (!s) return std::nullopt;
    std::string text;
    char buf[64];
    int32_t n;
    while ((n = stream68_read(s, buf, sizeof buf)) > 0) text.append(buf, size_t(n));
    stream68_destroy(s);
    return text;
  }
};

TEST_F(Resources, DefaultsFromTheEnvironment) {
  unsetenv("VK68_HOME");
  unsetenv("VK68_DATA");
  setenv("HOME", "/home/someone", 1);
  const char *share = "x", *user = "x";
  VK68rsc_set_defaults(&share, &user);
  ASSERT_NE(user, nullptr);
  EXPECT_STREQ(user, "/home/someone/.vk68");
  ASSERT_NE(share, nullptr);
  EXPECT_STREQ(share, "");
  EXPECT_TRUE(traced("set_default_share() := [] \n"));
  EXPECT_TRUE(traced("set_default_user() := [/home/someone/.vk68] \n"));

  // Paths already set are kept.
  setenv("VK68_HOME", "/elsewhere", 1);
  VK68rsc_set_defaults(&share, &user);
  EXPECT_STREQ(user, "/home/someone/.vk68");

  VK68rsc_set_user(nullptr);
  VK68rsc_set_share(nullptr);
  setenv("VK68_DATA", "/usr/share/vk68", 1);
  VK68rsc_set_defaults(&share, &user);
  EXPECT_STREQ(user, "/elsewhere");
  EXPECT_STREQ(share, "/usr/share/vk68");

  // Neither VK68_HOME nor HOME: the user path stays as it was.
  unsetenv("VK68_HOME");
  unsetenv("HOME");
  VK68rsc_set_user(nullptr);
  VK68rsc_set_default_user();
  EXPECT_EQ(VK68rsc_get_user(), nullptr);
  VK68rsc_set_user("/kept");
  VK68rsc_set_default_user();
  EXPECT_STREQ(VK68rsc_get_user(), "/kept");
}

TEST_F(Resources, ReadTriesUserThenSharedAndWriteOnlyUser) {
  std::string user = dir("u"), share = dir("s");
  VK68rsc_set_user(user.c_str());
  VK68rsc_set_share(share.c_str());
  dir("s/Sample");
  write_file(share + "/Sample/drum", "shared drum");
  EXPECT_EQ(slurp(VK68RSC_SAMPLE, "drum").value_or("-"), "shared drum");
  dir("u/Sample");
  write_file(user + "/Sample/drum", "user drum");
  EXPECT_EQ(slurp(VK68RSC_SAMPLE, "drum").value_or("-"), "user drum");

  // Writing goes to the user directory and never falls back to the shared
  // one, even when the user directory cannot take the file.
  write_file(share + "/notes.txt", "shared");
  VK68rsc_set_user((root_ + "/absent").c_str());
  EXPECT_EQ(VK68rsc_share_path(VK68RSC_CONFIG, "notes", STREAM68_WRITE), nullptr);
  EXPECT_EQ(messages(), std::vector<std::string>{"VK68rsc_open(1,notes,2) : not found"});
  EXPECT_EQ(read_file(share + "/notes.txt").value_or("-"), "shared");
  EXPECT_FALSE(traced("default_open() : path '" + share + "/notes.txt'\n"));

  VK68rsc_set_user(user.c_str());
  Stream68 *w = VK68rsc_share_path(VK68RSC_CONFIG, "notes", STREAM68_WRITE);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(stream68_write(w, "mine", 4), 4);
  stream68_destroy(w);
  EXPECT_EQ(read_file(user + "/notes.txt").value_or("-"), "mine");
  EXPECT_EQ(read_file(share + "/notes.txt").value_or("-"), "shared");
}

TEST_F(Resources, NameTransformsAndSubdirectories) {
  std::string user = dir("u");
  VK68rsc_set_user(user.c_str());
  VK68rsc_set_share(nullptr);
  unsetenv("VK68_DATA");
  dir("u/Replay");
  dir("u/Dll");
  write_file(user + "/Replay/sndh_ice.bin", "replay");
  write_file(user + "/Config.txt", "Config");
  write_file(user + "/Dll/Lib.So", "lib");
  EXPECT_EQ(slurp(VK68RSC_REPLAY, "Sndh_Ice").value_or("-"), "replay");
  EXPECT_TRUE(traced("default_open() : path '" + user + "/Replay/sndh_ice.bin'\n"));
  EXPECT_EQ(slurp(VK68RSC_CONFIG, "Config").value_or("-"), "Config");
  EXPECT_FALSE(slurp(VK68RSC_CONFIG, "config"));  // the name keeps its case
  EXPECT_EQ(slurp(VK68RSC_DLL, "Lib.So").value_or("-"), "lib");
  // The shared path defaulted to "": its lookups start with the subdirectory.
  EXPECT_STREQ(VK68rsc_get_share(), "");
  EXPECT_TRUE(traced("default_open() : path '/config.txt'\n"));
  EXPECT_FALSE(slurp(VK68RSC_REPLAY, "None"));
  EXPECT_TRUE(traced("default_open() : path '/Replay/none.bin'\n"));
}

TEST_F(Resources, Failures) {
  VK68rsc_set_user(root_.c_str());
  VK68rsc_set_share(root_.c_str());
  EXPECT_EQ(VK68rsc_share_path(4, "x", STREAM68_READ), nullptr);
  EXPECT_EQ(VK68rsc_share_path(-1, "x", STREAM68_READ), nullptr);
  EXPECT_EQ(VK68rsc_share_path(0, nullptr, STREAM68_READ), nullptr);
  EXPECT_EQ(VK68rsc_share_path(0, "x", 3), nullptr);
  EXPECT_EQ(VK68rsc_share_path(0, "x", 0), nullptr);
  EXPECT_EQ(VK68rsc_share_path(2, "x", STREAM68_READ), nullptr);
  EXPECT_EQ(messages(), (std::vector<std::string>{
                            "VK68rsc_open(2,x,1) : not found",
                            "share_path(x) : invalid open mode (0)",
                            "share_path(x) : invalid open mode (3)",
                            "share_path() : NULL resource name",
                            "VK68rsc_open(-1,x,1) : invalid resource type",
                            "VK68rsc_open(4,x,1) : invalid resource type",
                        }));
  // Both directories are tried even when they are the same text.
  int tries = 0;
  for (const auto &t : cfgtest::trace) tries += t.rfind("default_open() : trying '", 0) == 0;
  EXPECT_EQ(tries, 2);

  // Neither directory set: both are passed over.
  VK68rsc_set_user(nullptr);
  VK68rsc_set_share(nullptr);
  unsetenv("VK68_HOME");
  unsetenv("HOME");
  EXPECT_EQ(VK68rsc_default_open(1, "config", STREAM68_READ), nullptr);
  EXPECT_EQ(messages(), std::vector<std::string>{"VK68rsc_open(1,config,1) : not found"});
  EXPECT_TRUE(traced("default_open() : trying '(null)'\n"));
}

TEST_F(Resources, PathsLongerThanTheWorkingBuffer) {
  // Five nested 200-character directories: the path is over 1024 bytes.
  std::string sub;
  for (int i = 0; i < 5; ++i) sub += (i ? "/" : "") + std::string(200, char('a' + i));
  std::string user = dir(sub);
  ASSERT_GT(user.size() + std::strlen("/Sample/long"), 1024u);
  dir(sub + "/Sample");
  write_file(user + "/Sample/long", "found");
  std::ifstream check(user + "/Sample/long");
  ASSERT_TRUE(check.good()) << "file system refused the long path";
  VK68rsc_set_user(user.c_str());
  VK68rsc_set_share(root_.c_str());
  EXPECT_EQ(slurp(VK68RSC_SAMPLE, "long").value_or("-"), "found");
  // Falls through to the short shared path after the long user one.
  write_file(root_ + "/short.txt", "short");
  EXPECT_EQ(slurp(VK68RSC_CONFIG, "short").value_or("-"), "short");
}

Stream68 *fake_handler(int type, const char *name, int mode) {
  cfgtest::trace.push_back("fake " + std::to_string(type) + name + std::to_string(mode));
  return nullptr;
}

TEST_F(Resources, HandlerCanBeReplaced) {
  EXPECT_EQ(VK68rsc_set_handler(fake_handler), VK68rsc_default_open);
  EXPECT_EQ(VK68rsc_set_handler(nullptr), fake_handler);
  VK68rsc_set_user(root_.c_str());
  EXPECT_EQ(VK68rsc_share_path(0, "tune", STREAM68_READ), nullptr);
  EXPECT_TRUE(traced("fake 0tune1"));
  EXPECT_EQ(VK68rsc_set_handler(VK68rsc_default_open), fake_handler);
  // share_path filled in the missing shared path before calling it.
  EXPECT_NE(VK68rsc_get_share(), nullptr);
}

TEST_F(Resources, TextServices) {
  EXPECT_EQ(vk68_strdup(nullptr), nullptr);
  EXPECT_EQ(vk68_strjoin(nullptr, nullptr), nullptr);
  for (auto [a, b, want] :
       {std::tuple{"ab", "cd", "abcd"}, std::tuple{"ab", (const char *)nullptr, "ab"},
        std::tuple{(const char *)nullptr, "cd", "cd"}, std::tuple{"", "", ""}}) {
    char *j = vk68_strjoin(a, b);
    ASSERT_NE(j, nullptr);
    EXPECT_STREQ(j, want);
    vk68_free(j);
  }
  char *d = vk68_strdup("copy");
  const char *original = "copy";
  EXPECT_NE(d, original);
  EXPECT_STREQ(d, "copy");
  vk68_free(d);

  EXPECT_EQ(vk68_strcasecmp("Sampling_Rate", "SAMPLING_rate"), 0);
  EXPECT_LT(vk68_strcasecmp("abc", "abd"), 0);
  EXPECT_GT(vk68_strcasecmp("abcd", "ABC"), 0);
  EXPECT_LT(vk68_strcasecmp(nullptr, ""), 0);
  EXPECT_GT(vk68_strcasecmp("", nullptr), 0);
  EXPECT_EQ(vk68_strcasecmp(nullptr, nullptr), 0);
  const char *same = "x";
  EXPECT_EQ(vk68_strcasecmp(same, same), 0);
  // Upper-case forms are compared: '[' (0x5B) sorts after 'A'..'Z'.
  EXPECT_GT(vk68_strcasecmp("[", "a"), 0);
  EXPECT_LT(vk68_strcasecmp("a", "["), 0);
}

}  // namespace
