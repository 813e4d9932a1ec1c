// A player with default settings, as the intro makes it: no configuration or
// replay files, and the counting allocation hooks; a test fixture for code
// that makes players of its own (songs) on the same terms.
#ifndef TESTS_SUPPORT_DEFAULT_PLAYER_H
#define TESTS_SUPPORT_DEFAULT_PLAYER_H

#include <memory>

#include "support/engine_fixture.h"
#include "support/engine_hooks.h"
#include "vk68/vk68.h"

namespace enginetest {

inline Player68 *default_player() {
  VK68init init{};
  init.alloc = counting_alloc;
  init.free = counting_free;
  init.user_path = init.shared_path = "/nonexistent";
  return vk68_init(&init);
}

// A song that closes itself.
using Song = std::unique_ptr<vk68_song, decltype(&vk68_song_close)>;

// An engine test with no configuration or replay file of the machine's user.
class NoUserFilesTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    vk68_set_user("/nonexistent");
    vk68_set_share("/nonexistent");
  }
  void TearDown() override {
    vk68_set_user(nullptr);
    vk68_set_share(nullptr);
    EngineTest::TearDown();
  }
};

}  // namespace enginetest

#endif
