// The player handle: creation and shutdown (of the default player and of
// further independent ones), disks, track requests, seeking, track
// descriptions, and the track start that prepares the 68000 and runs the
// replay's init routine.
#include <algorithm>
#include <cstring>
#include <new>

#include "emu68/emu68.h"
#include "player/builtin_replays.h"
#include "player/handles.h"
#include "player/player68.h"
#include "player/vk68_config.h"
#include "player/vk68_rsc.h"

namespace vk68 {
namespace {

// The player vk68_init created, until vk68_shutdown.
Player68 *g_player = nullptr;

constexpr uint32_t kSrSupervisor = 0x2000;  // S set, interrupts open
constexpr uint32_t kSrReplay = 0x2300;      // S set, mask 3: MFP (6) gets through
constexpr uint32_t kInitStackGap = 16;      // A7 below the memory top for init

// The emulator's newest message, moved onto the engine's stack with a
// prefix; returns -1.
int report_emu(Emu68 *emu, const char *what) {
  const char *message = EMU68_pop_error(emu);
  return vk68_error_add("%s%s", what, message ? message : "68000 emulator failure");
}

// Configuration values the player keeps in fields of its own.
void take_config(Player68 *p) {
  p->version = p->config[VK68CONFIG_VERSION];
  p->amiga_blend = p->config[VK68CONFIG_AMIGA_BLEND];
  p->force_track = p->config[VK68CONFIG_FORCE_TRACK];
  p->default_time_ms = uint32_t(p->config[VK68CONFIG_DEFAULT_TIME]) * 1000;
}

int init_68k(Player68 *p, uint32_t size) {
  vk68_debug("init_68k() : enter\n");
  vk68_debug("init_68k() : fast mode detected\n");
  // Word and long accesses at the last addresses reach 3 bytes beyond.
  uint8_t *memory = static_cast<uint8_t *>(vk68_alloc(size + 3));
  vk68_debug("init_68k() : alloc 68 memory (%dkb)\n", int((size + 3) / 1024));
  if (!memory) {
    vk68_debug("init_68k() : Failed\n");
    return -1;
  }
  vk68_debug("init_68k() : 68K emulator init\n");
  Emu68 *emu = &p->machine->emu;
  if (EMU68_init(emu, memory, int32_t(size)) < 0) {
    report_emu(emu, "");
    vk68_free(memory);
    vk68_debug("init_68k() : Failed\n");
    return -1;
  }
  p->memory = memory;
  p->memory_size = size;
  EMU68_save_registers(emu, &p->reg);
  p->reg.sr = kSrSupervisor;
  p->reg.a[7] = size - 4;

  vk68_debug("init_68k() : chipset init\n");
  Machine68 *m = p->machine;
  shifter_init(&m->shifter);
  // The nominal clocks until a track sets the configured ones.
  m->timebase.clocks = kClocksNominal;
  cia_init(&m->ciab, &m->timebase);
  paula_init(&m->paula, &m->timebase, memory);
  const char *failed = ym_init(&m->ym, &m->timebase) < 0 ? "Yamaha 2149 emulator init failed"
                       : mw_init(&m->ste) < 0            ? "Microwire emulator init failed"
                       : mfp_init(&m->mfp) < 0           ? "MFP emulator init failed"
                                                         : nullptr;
  if (failed) {
    vk68_error_add("%s", failed);
    vk68_debug("init_68k() : Failed\n");
    return -1;
  }
  mw_attach(&m->ste, &m->timebase, memory);
  mfp_set_timebase(&m->mfp, &m->timebase);
  vk68_debug("init_68k() : Success\n");
  return 0;
}

// The start of every player: zeroed, with a zeroed machine of its own, the
// configuration's values and its output rate (`rate`; 0: the configured
// one). Null when an allocation fails (reported).
Player68 *new_player(uint32_t rate) {
  auto *p = static_cast<Player68 *>(vk68_alloc(sizeof(Player68)));
  if (!p) return nullptr;
  std::memset(p, 0, sizeof *p);
  void *machine = vk68_alloc(sizeof(Machine68));
  if (!machine) {
    vk68_free(p);
    return nullptr;
  }
  p->machine = new (machine) Machine68{};
  if (!handle_add(p)) {
    vk68_free(machine);
    vk68_free(p);
    return nullptr;
  }
  // Without a configuration file the defaults hold: that is no failure to
  // report, so the loader's message goes.
  if (VK68config_load(p->config) < 0) vk68_error_get();
  take_config(p);
  // The configured rate is never 0: the store limits it to 6000..50000.
  if (rate == 0) rate = uint32_t(p->config[VK68CONFIG_SAMPLING_RATE]);
  // Rates past INT32_MAX must not turn negative (a query): the chips bring
  // any large rate down to their highest.
  vk68_sampling_rate(p, int(std::min<uint32_t>(rate, INT32_MAX)));
  return p;
}

// Frees a player and everything it owns, its disk included; p may be null.
void release(Player68 *p) {
  if (!p) return;
  vk68_close(p);
  handle_remove(p);
  EMU68_release(&p->machine->emu);
  vk68_free(p->memory);
  vk68_free(p->machine);
  vk68_free(p);
}

// Ends what vk68_init built (p may be null): the player and the resource
// paths. The configuration is the user's: it is saved only when the caller
// asks (vk68_config_save), never behind its back.
void teardown(Player68 *p) {
  release(p);
  VK68rsc_set_share(nullptr);
  VK68rsc_set_user(nullptr);
  if (g_player == p) g_player = nullptr;
}

// Copies an external replay into 68000 memory at `address`; its length, or
// -1 (reported).
int32_t load_replay(Emu68 *emu, const char *name, uint32_t address, uint8_t *memory) {
  vk68_debug(" -> external replay '%s'\n", name);
  Stream68 *s = VK68rsc_share_path(VK68RSC_REPLAY, name, STREAM68_READ);
  if (!s) return vk68_error_add("apply_change_track() : replay '%s' not loaded", name);
  int32_t length = stream68_length(s);
  if (length < 0) {
    length = vk68_error_add("apply_change_track() : replay '%s' has no length", name);
  } else if (EMU68_check_block(emu, address, uint32_t(length)) < 0) {
    length = report_emu(emu, "68Kread_stream() : ");
  } else if (stream68_read(s, memory + address, length) != length) {
    length = vk68_error_add("apply_change_track() : replay '%s' read error", name);
  }
  stream68_destroy(s);
  return length;
}

}  // namespace

Player68 *player_create(uint32_t rate) {
  Player68 *p = new_player(rate);
  if (p && init_68k(p, kMemorySize) == 0) return p;
  release(p);
  return nullptr;
}

void player_destroy(Player68 *player) { release(player); }

uint32_t samples_per_frame(const Player68 *p) {
  return uint32_t(uint64_t(p->sampling_rate) * p->cycles_per_frame /
                  p->machine->timebase.clocks.cpu_hz);
}

const MachineClocks &configured_clocks(const Player68 *p) {
  return p->config[VK68CONFIG_CLOCK] ? kClocksPal : kClocksNominal;
}

uint64_t track_cycle(const MachineClocks &clocks, uint32_t rate, uint64_t k) {
  if (rate == 50) return k * kCycles50Hz;
  return uint64_t((static_cast<unsigned __int128>(k) * clocks.cpu_hz) / rate);
}

uint64_t frame_cycle(const Player68 *p, uint64_t k) {
  const Machine68 &m = *p->machine;
  return track_cycle(m.timebase.clocks, m.replay_rate, k);
}

int apply_change_track(Player68 *p) {
  if (!p || !p->disk) return -1;
  const int32_t n = p->pending;
  if (n == 0) return 0;
  p->pending = 0;
  if (n == -1) {
    vk68_debug("apply_change_track() : stop\n");
    p->track = nullptr;
    p->track_number = 0;
    return VK68_PROCESS_STOPPED;
  }
  vk68_debug("apply_change_track(%d) : enter\n", n);
  if (n < 1 || n > p->disk->track_count)
    return vk68_error_add("track [%d] out of range [%d]", n, p->disk->track_count);
  // A failed start leaves no current track.
  p->track = nullptr;
  p->track_number = 0;
  const Track68 *t = &p->disk->tracks[n - 1];
  vk68_debug(" -> Starting track #%02d - [%s]:\n", n, t->name ? t->name : "(null)");
  if (t->frequency < kMinReplayRate || t->frequency > kMaxReplayRate)
    return vk68_error_add("track #%d : replay rate %u Hz out of range [%u..%u]", n, t->frequency,
                          kMinReplayRate, kMaxReplayRate);

  // The chips the track asks for, and nothing else: a previous track's
  // interrupt source must not survive when its chip is unplugged.
  Machine68 &hw = *p->machine;
  Emu68 *emu = &hw.emu;
  EMU68_clear_io_pages(emu);
  EMU68_unplug_all_io(emu);
  EMU68_select_interrupt_source(emu, nullptr);
  if (t->hardware & VK68_HW_AMIGA) {
    vk68_debug(" -> Add Paula hardware\n");
    EMU68_plug_io(emu, &hw.paula.io);
    EMU68_plug_io(emu, &hw.ciab.io);
    EMU68_select_interrupt_source(emu, &hw.ciab.io);
  }
  if (t->hardware & VK68_HW_YM) {
    vk68_debug(" -> Add YM hardware\n");
    EMU68_plug_io(emu, &hw.shifter.io);
    EMU68_plug_io(emu, &hw.ym.io);
    EMU68_plug_io(emu, &hw.mfp.io);
    EMU68_select_interrupt_source(emu, &hw.mfp.io);
  }
  if (t->hardware & VK68_HW_STE) {
    vk68_debug(" -> Add STE hardware\n");
    EMU68_plug_io(emu, &hw.ste.io);
  }
  mfp_wire_sound_active(
      &hw.mfp, (t->hardware & VK68_HW_STE) ? mw_sound_active_wire(&hw.ste) : MfpSoundActiveWire{});
  EMU68_reset_cpu(emu);

  uint8_t *m = p->memory;
  std::memset(m, 0, p->memory_size + 3);
  // Low memory as TOS leaves it: vectors, system variables, XBIOS.
  std::memcpy(m, vk68_system_memory, vk68_system_memory_size);

  const uint32_t a = t->load_address ? t->load_address : kLoadAddress;
  p->load_address = a;
  vk68_debug(" -> play address %06x\n", a);
  uint32_t d = a;
  if (t->replay) {
    const int32_t length = load_replay(emu, t->replay, a, m);
    if (length < 0) return -1;
    vk68_debug(" -> external replay [%06x-%06x]\n", a, a + uint32_t(length));
    d = a + ((uint32_t(length) + 1) & ~1u);
  }
  if (EMU68_copy_in(emu, d, t->data, t->data_size) < 0) {
    vk68_debug(" -> Failed music data [%06x-%06x]\n", d, d + t->data_size);
    return report_emu(emu, "");
  }
  vk68_debug(" -> music data [%06x-%06x)\n", d, d + t->data_size);

  p->mix_position = nullptr;
  p->mix_remaining = 0;
  p->samples_played = 0;
  p->frames_played = 0;
  if (t->frames) {
    p->frames_to_play = t->frames;
    vk68_debug(" -> time ms : %u\n", t->time_ms);
  } else {
    p->frames_to_play = uint32_t(uint64_t(p->default_time_ms) * t->frequency / 1000);
    vk68_debug(" -> default time ms : %u\n", p->default_time_ms);
  }
  vk68_debug(" -> frames :  %u\n", p->frames_to_play);
  // The track's frames on the cycle axis of the machine's clocks.
  hw.timebase.clocks = configured_clocks(p);
  mfp_set_timebase(&hw.mfp, &hw.timebase);  // its time units follow the clocks
  hw.timebase.rate = p->sampling_rate;
  hw.timebase.frame_start = 0;
  hw.replay_rate = t->frequency;
  hw.frames_started = 0;
  hw.frame_length = 0;
  hw.frame_position = 0;
  p->cycles_per_frame = uint32_t(frame_cycle(p, 1));
  vk68_debug(" -> cycle/frame :  %u\n", p->cycles_per_frame);
  p->samples_per_frame = samples_per_frame(p);
  vk68_debug(" -> buffer length : %u\n", p->samples_per_frame);
  ym_reset(&hw.ym);  // the YM's time starts with the track's

  vk68_debug(" -> Running music init code...\n");
  // Every track starts from the same registers, whatever played before.
  Reg68 &r = p->reg;
  r = Reg68{};
  r.d[0] = t->d0;
  r.d[1] = (t->hardware & VK68_HW_STE) ? 0 : 1;
  r.d[2] = t->data_size;
  r.a[0] = d;
  r.a[7] = p->memory_size - kInitStackGap;
  r.pc = a;
  r.sr = kSrReplay;
  m[0] = m[1] = 0;
  EMU68_load_registers(emu, &r);
  EMU68_set_cycle_count(emu, 0);
  if (EMU68_run_frame(emu, 0) < 0) return report_emu(emu, "track init : ");
  vk68_debug(" -> OK\n");
  EMU68_save_registers(emu, &r);
  r.pc = a + 8;
  r.sr = kSrReplay;
  EMU68_load_registers(emu, &r);
  EMU68_set_cycle_count(emu, 0);
  p->track = t;
  p->track_number = n;
  return VK68_PROCESS_CHANGE;
}

}  // namespace vk68

using namespace vk68;

extern "C" {

Player68 *vk68_init(VK68init *init) {
  if (init) {
    vk68_set_debug(init->debug);
    vk68_set_cookie(init->debug_cookie);
  }
  vk68_debug("vk68_init(): enter\n");
  if (g_player) {
    vk68_debug("vk68_init(): already initialized\n");
    return nullptr;
  }
  if (!init) {
    vk68_error_add("vk68_init() : missing init struct");
    return nullptr;
  }
  if (!init->alloc || !init->free) {
    vk68_error_add("vk68_init() : missing dynamic memory handler(s)");
    return nullptr;
  }
  vk68_set_alloc(init->alloc);
  vk68_set_free(init->free);
  if (init->user_path) {
    vk68_debug("vk68_init(): user resource [%s]\n", init->user_path);
    VK68rsc_set_user(init->user_path);
  }
  if (init->shared_path) {
    vk68_debug("vk68_init(): shared resource [%s]\n", init->shared_path);
    VK68rsc_set_share(init->shared_path);
  }
  // The stored paths are the engine's copies, freed at shutdown: they are
  // not handed back through the record, which may outlive them.
  VK68rsc_set_defaults(nullptr, nullptr);

  Player68 *p = new_player(init->sampling_rate);
  if (p) {
    init->sampling_rate = p->sampling_rate;
    if (init_68k(p, kMemorySize) == 0) {
      g_player = p;
      vk68_debug("vk68_init(): Success\n");
      return p;
    }
  }
  teardown(p);
  vk68_debug("vk68_init(): Failed\n");
  return nullptr;
}

void vk68_shutdown(Player68 *player) {
  if (!handle_alive(player)) return;
  if (player == g_player) {
    teardown(player);
  } else {
    release(player);  // a player of its own, from player_create
  }
}

int vk68_sampling_rate(Player68 *player, int rate) {
  if (player && !handle_alive(player)) return -1;
  int result;
  if (rate > 0 && player) {
    // A rate in the supported range; every chip reads it from the time base.
    Machine68 *m = player->machine;
    result = std::clamp(rate, YM_RATE_MIN, YM_RATE_MAX);
    player->sampling_rate = uint32_t(result);
    m->timebase.rate = uint32_t(result);
    if (player->track) {
      ym_timebase_changed(&m->ym);
      player->samples_per_frame = samples_per_frame(player);
    }
  } else if (rate > 0) {
    result = std::clamp(rate, YM_RATE_MIN, YM_RATE_MAX);  // what a player would take
  } else {
    // Without a player, the rate chips start with.
    result = player ? int(player->sampling_rate) : YM_RATE_DEFAULT;
  }
  vk68_debug("vk68_sampling_rate() : %u hz\n", unsigned(result));
  return result;
}

int vk68_load_disk(Player68 *player, Disk68 *disk) {
  if (!handle_alive(player) || !disk) {
    vk68_free(disk);
    return -1;
  }
  if (player->disk) {
    vk68_free(disk);
    return vk68_error_add("disk is already loaded");
  }
  player->track = nullptr;
  player->track_number = 0;
  player->disk = disk;
  const int track = player->force_track > disk->track_count ? 0 : player->force_track;
  return vk68_play(player, track) < 0 ? -1 : 0;
}

int vk68_load_stream(Player68 *player, Stream68 *stream) {
  return handle_alive(player) ? vk68_load_disk(player, VK68file_load(stream)) : -1;
}

int vk68_load_path(Player68 *player, const char *path) {
  return handle_alive(player) ? vk68_load_disk(player, VK68file_load_path(path)) : -1;
}

int vk68_load_buffer(Player68 *player, const void *bytes, int32_t size) {
  return handle_alive(player) ? vk68_load_disk(player, VK68file_load_buffer(bytes, size)) : -1;
}

void vk68_close(Player68 *player) {
  if (!handle_alive(player) || !player->disk) return;
  vk68_debug("vk68_close() : enter\n");
  vk68_free(player->disk);
  player->disk = nullptr;
  player->track = nullptr;
  player->track_number = 0;
  player->pending = 0;
  vk68_debug("vk68_close() : close\n");
}

int vk68_play(Player68 *player, int track) {
  vk68_debug("vk68_play(%d) : enter\n", track);
  if (!handle_alive(player)) return -1;
  if (!player->disk) return vk68_error_add("vk68_play() : no disk loaded");
  if (track == -1) return player->track_number;
  if (track == 0) track = player->disk->default_track + 1;
  if (track < 1 || track > player->disk->track_count)
    return vk68_error_add("track [%d] out of range [%d]", track, player->disk->track_count);
  player->pending = track;
  return 0;
}

int vk68_stop(Player68 *player) {
  if (!handle_alive(player)) return -1;
  if (!player->disk) return vk68_error_add("vk68_stop() : no disk loaded");
  player->pending = -1;
  return 0;
}

void vk68_restart(Player68 *player) {
  if (!handle_alive(player)) return;
  player->pending = 1;
  player->frames_played = 0;
}

int vk68_seek(Player68 *player, int ms) {
  if (!handle_alive(player) || !player->disk) return -1;
  const Disk68 *disk = player->disk;
  if (ms == -1) {
    if (!player->track) return -1;
    // Long disks (99 tracks of up to 65,535 s) pass the int range: saturate.
    const uint64_t played = frame_cycle(player, player->frames_played) /
                            (player->machine->timebase.clocks.cpu_hz / 1000);
    return int(std::min<uint64_t>(played + player->track->start_ms, INT32_MAX));
  }
  vk68_debug("Seek to %d ms\n", ms);
  for (int i = 0; ms >= 0 && i < disk->track_count; ++i) {
    const Track68 &t = disk->tracks[i];
    const uint32_t at = uint32_t(ms);
    if (at < t.start_ms || at - t.start_ms >= t.time_ms) continue;
    vk68_debug("Find track #%d [%u - %u]\n", i + 1, t.start_ms, t.start_ms + t.time_ms);
    if (player->track == &t) {
      vk68_debug("Already my track -> %d\n", vk68_seek(player, -1));
      return -1;
    }
    player->pending = i + 1;
    return int(t.start_ms);
  }
  vk68_debug("-> Not in disk range !!! [%d>%u]\n", ms, disk->total_ms);
  return -1;
}

int vk68_track_count(const Player68 *player) {
  return handle_alive(player) && player->disk ? player->disk->track_count : -1;
}

int vk68_track_info(const Player68 *player, const Disk68 *disk, VK68trackInfo *info, int track) {
  if (player && !handle_alive(player)) return -1;
  if (!disk) disk = player ? player->disk : nullptr;
  if (!disk || !info) return vk68_error_add("vk68_track_info() : no disk");
  if (track == -1)
    track =
        disk == (player ? player->disk : nullptr) ? player->track_number : disk->default_track + 1;
  if (track < 0 || track > disk->track_count)
    return vk68_error_add("track [%d] out of range [%d]", track, disk->track_count);
  const Track68 &t = disk->tracks[track ? track - 1 : disk->default_track];
  info->track = track;
  info->tracks = disk->track_count;
  info->author = t.author;
  info->composer = t.composer;
  info->frequency = t.frequency;
  info->load_address = t.load_address;
  if (track) {
    info->name = t.name;
    info->replay = t.replay ? t.replay : "built-in";
    info->hardware_flags = t.hardware & 7;
    info->time_ms = t.time_ms;
    info->start_ms = t.start_ms;
  } else {
    info->name = disk->name;
    info->replay = "built-in";
    info->hardware_flags = disk->hardware & 7;
    info->time_ms = disk->total_ms;
    info->start_ms = 0;
  }
  info->hardware = VK68file_hardware_text(info->hardware_flags);
  const uint64_t seconds = (uint64_t(info->time_ms) + 999) / 1000;
  vk68_time_str(info->time, track ? track : disk->track_count, int(seconds));
  return 0;
}

int vk68_probe_stream(Stream68 *stream) { return VK68file_probe(stream); }
int vk68_probe_path(const char *path) { return VK68file_probe_path(path); }
int vk68_probe_buffer(const void *bytes, int32_t size) {
  return VK68file_probe_buffer(bytes, size);
}
Disk68 *vk68_disk_load_stream(Stream68 *stream) { return VK68file_load(stream); }
Disk68 *vk68_disk_load_path(const char *path) { return VK68file_load_path(path); }
Disk68 *vk68_disk_load_buffer(const void *bytes, int32_t size) {
  return VK68file_load_buffer(bytes, size);
}

int vk68_config_load(Player68 *player) {
  return handle_alive(player) ? VK68config_load(player->config) : -1;
}

int vk68_config_save(Player68 *player) {
  if (!handle_alive(player)) return -1;
  int32_t *c = player->config;
  c[VK68CONFIG_VERSION] = 221;  // the configuration format written here
  c[VK68CONFIG_SAMPLING_RATE] = int32_t(player->sampling_rate);
  c[VK68CONFIG_AMIGA_BLEND] = player->amiga_blend;
  c[VK68CONFIG_FORCE_TRACK] = player->force_track;
  c[VK68CONFIG_DEFAULT_TIME] = int32_t((uint64_t(player->default_time_ms) + 999) / 1000);
  return VK68config_save(c);
}

int vk68_config_apply(Player68 *player) {
  if (!handle_alive(player) || VK68config_valid(player->config) < 0) return -1;
  take_config(player);
  vk68_sampling_rate(player, player->config[VK68CONFIG_SAMPLING_RATE]);
  return 0;
}

int vk68_config_id(const char *key) { return VK68config_get_id(key); }

int vk68_config_get(const Player68 *player, int n, int32_t *value) {
  if (!handle_alive(player) || !value) return -1;
  if (n < 0 || n >= VK68_CONFIG_SLOTS)
    return vk68_error_add("vk68_config_get(%d) : no such value", n);
  *value = player->config[n];
  return 0;
}

int vk68_config_set(Player68 *player, int n, int32_t value) {
  if (!handle_alive(player)) return -1;
  if (n < 0 || n >= VK68_CONFIG_SLOTS)
    return vk68_error_add("vk68_config_set(%d) : no such value", n);
  player->config[n] = value;
  return 0;
}

void vk68_set_share(const char *path) { VK68rsc_set_share(path); }
void vk68_set_user(const char *path) { VK68rsc_set_user(path); }

}  // extern "C"
