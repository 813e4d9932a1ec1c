// One scene frame as the driver draws it: horizon, shading, discs and the
// text step, with the pages running (the font and text loaded).
#include <benchmark/benchmark.h>

#include "intro/driver.h"
#include "intro/runtime.h"
#include "intro/scene.h"
#include "intro/text_pages.h"

namespace {

void setup_scene() {
  scene_reset();
  text_pages_reset();
  random_reset();
  fill_intro_text();
  init_discs();
  build_shade_palette();
  load_font_picture();
}

// Starts with the discs on screen and a page partly typed, then runs on.
void BM_SceneFrame(benchmark::State &state) {
  setup_scene();
  for (int i = 0; i < 1500; ++i) draw_scene_frame();
  for (auto _ : state) {
    draw_scene_frame();
    benchmark::DoNotOptimize(scene.frame_buffer[0]);
  }
}
BENCHMARK(BM_SceneFrame)->Unit(benchmark::kMillisecond);

// Parts of the frame on their own.
void BM_UpdateHorizon(benchmark::State &state) {
  setup_scene();
  for (auto _ : state) {
    update_horizon();
    benchmark::DoNotOptimize(scene.shade_buffer[0]);
  }
}
BENCHMARK(BM_UpdateHorizon)->Unit(benchmark::kMicrosecond);

void BM_ShadeToFrame(benchmark::State &state) {
  setup_scene();
  update_horizon();
  for (auto _ : state) {
    shade_to_frame();
    benchmark::DoNotOptimize(scene.frame_buffer[0]);
  }
}
BENCHMARK(BM_ShadeToFrame)->Unit(benchmark::kMicrosecond);

// A complete page held on screen: the most glyphs a frame draws.
void BM_HoldPage(benchmark::State &state) {
  setup_scene();
  text_pages.line = 9;
  for (auto _ : state) {
    text_pages.hold = 0;
    hold_page_step();
    benchmark::DoNotOptimize(scene.frame_buffer[0]);
  }
}
BENCHMARK(BM_HoldPage)->Unit(benchmark::kMicrosecond);

}  // namespace
