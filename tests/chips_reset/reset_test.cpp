// Every chip's reset brings back the state it was initialised in, after
// every register was written; and the video shifter's two registers.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "chips/cia8520.h"
#include "chips/mfp68901.h"
#include "chips/microwire.h"
#include "chips/paula.h"
#include "chips/shifter.h"
#include "chips/timebase.h"
#include "chips/ym2149.h"

namespace {

struct Chips {
  Shifter shifter;
  Mfp68901 mfp;
  SteMicroWire ste;
  Paula paula;
  Ym2149 ym;
  Cia8520 cia;
  Timebase timebase{kClocksNominal, 44100, 0};
};

// What a program and the player can observe of all chips.
std::vector<uint32_t> observe(Chips &c) {
  std::vector<uint32_t> o;
  IoPlugin68 &ym = c.ym.io;
  o.push_back(ym.read_b(&ym, 0xFFFF8800, 0));  // the selected register
  for (uint32_t r = 0; r < 16; ++r) {
    ym.write_b(&ym, 0xFFFF8800, r, 0);
    o.push_back(ym.read_b(&ym, 0xFFFF8800, 0));
  }
  for (IoPlugin68 *p : {&c.mfp.io, &c.ste.io, &c.paula.io, &c.shifter.io, &c.cia.io})
    for (uint32_t a = p->addr_lo; a <= p->addr_hi; ++a) o.push_back(p->read_b(p, a, 0));
  o.push_back(static_cast<uint32_t>(c.mfp.io.next_interrupt(&c.mfp.io, 0)));
  for (int v = 0; v < 4; ++v) {
    const PaulaVoiceState *s = paula_voice_state(&c.paula, v);
    o.insert(o.end(), {s->position, s->loop_start, s->loop_end});
  }
  const MwLmc1992 *l = mw_lmc1992(&c.ste);
  for (int x :
       {l->mixer, l->master_db, l->left_db, l->right_db, l->lr_db, l->bass_db, l->treble_db})
    o.push_back(static_cast<uint32_t>(x));
  o.push_back(static_cast<uint32_t>(ym_voice_mask(&c.ym, -1)));
  return o;
}

TEST(ChipsReset, ResetBringsBackThePowerOnState) {
  const auto c = std::make_unique<Chips>();
  shifter_init(&c->shifter);
  mfp_init(&c->mfp);
  mw_init(&c->ste);
  paula_init(&c->paula, &c->timebase, nullptr);
  ym_init(&c->ym, &c->timebase);
  cia_init(&c->cia, &c->timebase);
  const std::vector<uint32_t> before = observe(*c);
  // Every YM voice heard.
  const auto n = before.size();
  EXPECT_EQ(before.back(), 7u);
  // Every register written, the MicroWire sent a command, timers and
  // voices started.
  for (uint32_t r = 0; r < 16; ++r) {
    c->ym.io.write_b(&c->ym.io, 0xFFFF8800, r, 0);
    c->ym.io.write_b(&c->ym.io, 0xFFFF8802, 0x5A + r, 0);
  }
  for (IoPlugin68 *p : {&c->mfp.io, &c->ste.io, &c->paula.io, &c->shifter.io, &c->cia.io})
    for (uint32_t a = p->addr_lo; a <= p->addr_hi; ++a) p->write_b(p, a, 0xA5 ^ a, 0);
  c->paula.io.write_w(&c->paula.io, 0xFFDFF096, 0x820F, 0);
  c->ste.io.write_w(&c->ste.io, 0xFFFF8924, 0x07FF, 0);
  c->ste.io.write_w(&c->ste.io, 0xFFFF8922, 0x04C3, 0);
  EXPECT_NE(observe(*c), before);
  ym_reset(&c->ym);
  mfp_reset(&c->mfp);
  mw_reset(&c->ste);
  paula_reset(&c->paula);
  shifter_reset(&c->shifter);
  cia_reset(&c->cia);
  const std::vector<uint32_t> after = observe(*c);
  for (size_t i = 0; i < n; ++i) EXPECT_EQ(after[i], before[i]) << "observation " << i;
  // A timer started after the init counts from 256: after 1000 cycles at 4
  // ticks a count, 76 counts have passed.
  c->mfp.io.write_b(&c->mfp.io, 0xFFFFFA19, 1, 0);
  EXPECT_EQ(c->mfp.io.read_b(&c->mfp.io, 0xFFFFFA1F, 1000), 180u);
}

// The sync mode answers 50 Hz (bit 1); a register is picked by the low 8
// address bits alone; words and longs are big-endian byte sequences.
TEST(Shifter, Registers) {
  Shifter shifter;
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
