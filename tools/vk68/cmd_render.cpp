// vk68 render FILE -o OUT.wav [--track N|--all] [--seconds S] [--rate HZ]
// [--blend F]: renders tracks into a 16-bit stereo PCM WAV file, streaming
// (the file is written as the samples come; memory use does not grow with
// the length). A progress bar goes to stderr when it is a terminal.
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "playback.h"
#include "tool.h"

namespace vk68tool {
namespace {

constexpr int kChunk = 4096;                              // samples per write
constexpr uint32_t kWavHeader = 44;                       // RIFF + fmt + data chunk headers
constexpr uint64_t kWavMax = 0xFFFFFFFFull - kWavHeader;  // RIFF sizes are 32-bit
constexpr int kMinRate = 6000, kMaxRate = 50000;          // the YM's output range

// A whole number in [lo, hi], or a usage error.
bool number(const CommandLine &line, const char *option, long lo, long hi, long &value) {
  if (!line.has(option)) return true;
  const std::string &text = line.options.at(option);
  char *end = nullptr;
  errno = 0;
  value = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end || errno || value < lo || value > hi) {
    usage_error(std::string("option '") + option + "' needs a whole number from " +
                std::to_string(lo) + " to " + std::to_string(hi) + ", not '" + text + "'");
    return false;
  }
  return true;
}

void put_le(uint8_t *p, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) p[i] = uint8_t(v >> (8 * i));
}

// The 44-byte header of a PCM WAV file of `samples` 16-bit stereo samples.
void wav_header(uint8_t *h, uint32_t rate, uint64_t samples) {
  const uint32_t data = uint32_t(samples * 4);
  std::memcpy(h, "RIFF\0\0\0\0WAVEfmt \x10\0\0\0\x01\0\x02\0", 24);
  put_le(h + 4, 36 + data, 4);
  put_le(h + 24, rate, 4);
  put_le(h + 28, rate * 4, 4);  // bytes per second
  put_le(h + 32, 4, 2);         // bytes per sample frame
  put_le(h + 34, 16, 2);        // bits per sample
  std::memcpy(h + 36, "data", 4);
  put_le(h + 40, data, 4);
}

class Progress {
 public:
  explicit Progress(uint64_t total) : total_(total), terminal_(isatty(STDERR_FILENO)) {}
  ~Progress() {
    if (terminal_ && shown_ >= 0) std::fputs("\n", stderr);
  }
  void update(uint64_t done, int track, int tracks) {
    const int percent = total_ ? int(std::min<uint64_t>(100, done * 100 / total_)) : 100;
    if (!terminal_ || percent == shown_) return;
    shown_ = percent;
    const int bar = percent / 4;
    std::fprintf(stderr, "\r[%.*s%.*s] %3d%%  track %d/%d", bar, "#########################",
                 25 - bar, ".........................", percent, track, tracks);
  }

 private:
  uint64_t total_;
  bool terminal_;
  int shown_ = -1;  // percent on screen
};

struct Job {
  Player68 *player;
  std::string path;
  std::FILE *out;
  long seconds;  // per track; 0: the track's own time
  std::vector<int> tracks;
};

// Samples a track takes: S seconds, or its own time (the configured default
// time when it has none). Own time ends where the player ends the track.
uint64_t track_samples(const Job &job, int track) {
  const Track68 &t = job.player->disk->tracks[track - 1];
  const uint64_t ms = job.seconds ? uint64_t(job.seconds) * 1000
                                  : (t.time_ms ? t.time_ms : job.player->default_time_ms);
  return ms * job.player->sampling_rate / 1000;
}

// Renders every track of the job into the file; the sample count, or -1.
int64_t render(Job &job, Progress &progress) {
  std::vector<uint32_t> buffer(kChunk);
  std::vector<uint8_t> bytes(kChunk * 4);
  uint64_t total = 0;
  for (size_t i = 0; i < job.tracks.size(); ++i) {
    const int track = job.tracks[i];
    if (vk68_play(job.player, track) < 0) return engine_failure(), -1;
    const uint64_t want = track_samples(job, track);
    uint64_t done = 0;
    bool ended = false;
    while (done < want && !(ended && !job.seconds)) {
      if (ended) vk68_play(job.player, track);  // a fixed time loops the track
      Pull p{};
      if (!pull(job.player, buffer.data(), int(std::min<uint64_t>(kChunk, want - done)), p))
        return -1;
      ended = p.ended;
      for (int k = 0; k < p.written; ++k) put_le(&bytes[4 * size_t(k)], buffer[size_t(k)], 4);
      if (std::fwrite(bytes.data(), 4, size_t(p.written), job.out) != size_t(p.written))
        return failure(system_error("cannot write", job.path)), -1;
      done += uint64_t(p.written);
      total += uint64_t(p.written);
      progress.update(total, int(i) + 1, int(job.tracks.size()));
    }
  }
  return int64_t(total);
}

}  // namespace

int cmd_render(const Args &args) {
  CommandLine line;
  if (!parse(args, {"--all"}, {"-o", "--track", "--seconds", "--rate", "--blend"}, line) ||
      !expect_operands(line, {"music file"}))
    return kExitUsage;
  if (!line.has("-o")) return usage_error("missing output file (-o OUT.wav)");
  if (line.has("--all") && line.has("--track"))
    return usage_error("--track and --all exclude each other");
  long track = 0, seconds = 0, rate = 0, blend = -1;
  if (!number(line, "--track", 1, DISK68_MAX_TRACKS, track) ||
      !number(line, "--seconds", 1, 86400, seconds) ||
      !number(line, "--rate", kMinRate, kMaxRate, rate) ||
      !number(line, "--blend", 0, 65536, blend))
    return kExitUsage;

  Player68 *player = open_player(line.operands[0], int(rate), int(blend));
  if (!player) return kExitFailure;
  Job job{player, line.options["-o"], nullptr, seconds, {}};
  if (line.has("--all")) {
    for (int t = 1; t <= vk68_track_count(player); ++t) job.tracks.push_back(t);
  } else {
    job.tracks.push_back(track ? int(track) : player->disk->default_track + 1);
  }
  uint64_t total = 0;
  for (int t : job.tracks) total += t <= vk68_track_count(player) ? track_samples(job, t) : 0;
  int status = kExitFailure;
  if (total > kWavMax / 4) {
    failure("too long for a WAV file");
  } else if (!(job.out = std::fopen(job.path.c_str(), "wb"))) {
    failure(system_error("cannot write", job.path));
  } else {
    uint8_t header[kWavHeader];
    wav_header(header, player->sampling_rate, 0);
    int64_t samples = -1;
    if (std::fwrite(header, 1, kWavHeader, job.out) != kWavHeader) {
      failure(system_error("cannot write", job.path));
    } else {
      Progress progress(total);
      samples = render(job, progress);
      // Own time ends within the last frame: the estimate may be a little over.
      if (samples >= 0) progress.update(total, int(job.tracks.size()), int(job.tracks.size()));
    }
    if (samples >= 0) {
      wav_header(header, player->sampling_rate, uint64_t(samples));
      if (std::fseek(job.out, 0, SEEK_SET) != 0 ||
          std::fwrite(header, 1, kWavHeader, job.out) != kWavHeader || std::fflush(job.out) != 0)
        failure(system_error("cannot write", job.path));
      else
        status = kExitOk;
    }
    if (std::fclose(job.out) != 0 && status == kExitOk)
      status = failure(system_error("cannot write", job.path));
    if (status != kExitOk) std::remove(job.path.c_str());
  }
  close_player(player);
  return status;
}

}  // namespace vk68tool
