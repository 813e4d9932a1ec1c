// Every chip starts in its reset state, before any init or reset (checked
// in a freshly started copy of this program), and the video shifter's two
// registers.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "chips/mfp68901.h"
#include "chips/microwire.h"
#include "chips/paula.h"
#include "chips/shifter.h"
#include "chips/ym2149.h"

namespace {

Shifter shifter;
Mfp68901 mfp;
SteMicroWire ste;
Paula paula;
Ym2149 ym;

// What a program and the player can observe of all chips.
std::vector<uint32_t> observe() {
  std::vector<uint32_t> o;
  o.push_back(ym.io.read_b(&ym.io, 0xFFFF8800, 0));  // the selected register
  for (uint32_t r = 0; r < 16; ++r) {
    ym.io.write_b(&ym.io, 0xFFFF8800, r, 0);
    o.push_back(ym.io.read_b(&ym.io, 0xFFFF8800, 0));
  }
  for (IoPlugin68 *p : {&mfp.io, &ste.io, &paula.io, &shifter.io})
    for (uint32_t a = p->addr_lo; a <= p->addr_hi; ++a) o.push_back(p->read_b(p, a, 0));
  o.push_back(static_cast<uint32_t>(mfp.io.next_interrupt(&mfp.io, 0)));
  for (int v = 0; v < 4; ++v) {
    const PaulaVoiceState *s = paula_voice_state(&paula, v);
    o.insert(o.end(), {s->position, s->loop_start, s->loop_end});
  }
  const MwLmc1992 *l = mw_lmc1992(&ste);
  for (int x :
       {l->mixer, l->master_db, l->left_db, l->right_db, l->lr_db, l->bass_db, l->treble_db})
    o.push_back(static_cast<uint32_t>(x));
  o.insert(o.end(), {ym_sampling_rate(&ym, 0), static_cast<uint32_t>(ym_voice_mask(&ym, -1)),
                     mw_sampling_rate(&ste, 0), paula_sampling_rate(&paula, 0)});
  return o;
}

TEST(ChipsPowerOn, StateBeforeTheFirstResetIsTheResetState) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // the child starts afresh
  EXPECT_EXIT(
      {
        shifter_init(&shifter);
        mfp_init(&mfp);
        mw_init(&ste);
        paula_init(&paula);
        ym_init(&ym);
        const std::vector<uint32_t> before = observe();
        ym_reset(&ym);
        mfp_reset(&mfp);
        mw_reset(&ste);
        paula_reset(&paula);
        shifter_reset(&shifter);
        const std::vector<uint32_t> after = observe();
        for (size_t i = 0; i < before.size(); ++i)
          if (before[i] != after[i]) std::fprintf(stderr, "observation %zu differs\n", i);
        // Every output rate is 44100 Hz until one is set.
        const auto n = before.size();
        const bool rates =
            before[n - 4] == 44100 && before[n - 2] == 44100 && before[n - 1] == 44100;
        std::exit(before == after && rates ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
  // A timer started and read before any init counts from 256: after 1000
  // cycles at 4 ticks a count, 76 counts have passed.
  EXPECT_EXIT(
      {
        mfp_init(&mfp);
        mfp.io.write_b(&mfp.io, 0xFFFFFA19, 1, 0);
        std::exit(mfp.io.read_b(&mfp.io, 0xFFFFFA1F, 1000) == 180 ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

// The sync mode answers 50 Hz (bit 1); a register is picked by the low 8
// address bits alone; words and longs are big-endian byte sequences.
TEST(Shifter, Registers) {
  ASSERT_EQ(shifter_init(&shifter), 0);
  IoPlugin68 &sh = shifter.io;
  EXPECT_EQ(sh.read_w(&sh, 0xFFFF820A, 0), 0xFE00u);
  EXPECT_EQ(sh.read_w(&sh, 0xFFFF8209, 0), 0x00FEu);
  EXPECT_EQ(sh.read_l(&sh, 0x00FF8208, 0), 0x0000FE00u);
  sh.write_w(&sh, 0xFFFF820A, 0x0200, 0);
  sh.write_w(&sh, 0xFFFF825F, 0x1201, 0);  // the low byte lands on 0x60
  sh.write_b(&sh, 0xFFFF820B, 0x55, 0);    // no register
  EXPECT_EQ(sh.read_l(&sh, 0xFFFF820A, 0), 0x02000000u);
  EXPECT_EQ(sh.read_w(&sh, 0x00808260, 0), 0x0100u);
  sh.write_l(&sh, 0xFFFF8208, 0x0000FC00, 0);
  EXPECT_EQ(sh.read_b(&sh, 0xFFFF820A, 0), 0xFCu);
  ASSERT_EQ(sh.reset(&sh), 0);
  EXPECT_EQ(sh.read_w(&sh, 0xFFFF820A, 0) | sh.read_b(&sh, 0xFFFF8260, 0), 0xFE00u);
}

}  // namespace
