// vk68 render FILE -o OUT.wav [--track N|--all] [--seconds S] [--rate HZ]
// [--blend F] [--quiet]: renders tracks into a 16-bit stereo PCM WAV file,
// streaming (the file is written as the samples come; memory use does not
// grow with the length). A progress bar goes to stderr when it is a
// terminal; a line on what was written follows.
//
// A regular file gets its real sizes in the header once the samples are
// written. Standard output ("-o -"), pipes and devices cannot be rewound:
// their header carries 0xFFFFFFFF as RIFF and data size, the usual mark of
// a WAV stream of unknown length.
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

constexpr int kChunk = 4096;         // samples per write
constexpr uint32_t kWavHeader = 44;  // RIFF + fmt + data chunk headers
constexpr uint32_t kRiffBase = 36;   // RIFF size = data size + the 36 header bytes after it
// RIFF sizes are 32-bit: the data chunk holds at most this many bytes.
constexpr uint64_t kWavMaxData = 0xFFFFFFFFull - kRiffBase;
constexpr uint32_t kUnknownSize = 0xFFFFFFFF;     // RIFF and data size of a stream
constexpr int kMinRate = 6000, kMaxRate = 50000;  // the YM's output range
constexpr double kMinSeconds = 0.001, kMaxSeconds = 86400;

// A whole number in [lo, hi], or a usage error.
bool number(const CommandLine &line, const char *option, long lo, long hi, long &value) {
  if (!line.has(option)) return true;
  const std::string &text = line.options.at(option);
  char *end = nullptr;
  errno = 0;
  value = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end || errno || value < lo || value > hi) {
    usage_error(std::string("option '") + option + "' needs a whole number from " +
                std::to_string(lo) + " to " + std::to_string(hi) + ", not '" + escaped(text) + "'");
    return false;
  }
  return true;
}

// --seconds: a time per track, fractions allowed.
bool seconds_option(const CommandLine &line, double &value) {
  if (!line.has("--seconds")) return true;
  const std::string &text = line.options.at("--seconds");
  char *end = nullptr;
  value = std::strtod(text.c_str(), &end);
  if (text.empty() || *end || !(value >= kMinSeconds && value <= kMaxSeconds)) {
    usage_error("option '--seconds' needs a number of seconds from 0.001 to 86400, not '" +
                escaped(text) + "'");
    return false;
  }
  return true;
}

void put_le(uint8_t *p, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) p[i] = uint8_t(v >> (8 * i));
}

// The 44-byte header of a 16-bit stereo PCM WAV file.
void wav_header(uint8_t *h, uint32_t rate, uint32_t riff_size, uint32_t data_size) {
  std::memcpy(h, "RIFF\0\0\0\0WAVEfmt \x10\0\0\0\x01\0\x02\0",
              24);  // fmt: 16 bytes, PCM, 2 channels
  put_le(h + 4, riff_size, 4);
  put_le(h + 24, rate, 4);
  put_le(h + 28, rate * 4, 4);  // bytes per second
  put_le(h + 32, 4, 2);         // bytes per sample frame
  put_le(h + 34, 16, 2);        // bits per sample
  std::memcpy(h + 36, "data", 4);
  put_le(h + 40, data_size, 4);
}

class Progress {
 public:
  Progress(uint64_t total, bool shown) : total_(total), terminal_(shown && isatty(STDERR_FILENO)) {}
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
  double seconds;  // per track; 0: the track's own time
  std::vector<int> tracks;
};

// Samples a track takes: S seconds, or its own time (the configured default
// time when it has none). Own time ends where the player ends the track.
uint64_t track_samples(const Job &job, int track) {
  const uint32_t rate = job.player->sampling_rate;
  if (job.seconds > 0) return uint64_t(std::nearbyint(job.seconds * rate));
  const Track68 &t = job.player->disk->tracks[track - 1];
  return uint64_t(t.time_ms ? t.time_ms : job.player->default_time_ms) * rate / 1000;
}

// Renders every track of the job into the output; the sample count, or -1.
int64_t render(const Job &job, Output &out, Progress &progress) {
  std::vector<uint32_t> buffer(kChunk);
  std::vector<uint8_t> bytes(kChunk * 4);
  uint64_t total = 0;
  for (size_t i = 0; i < job.tracks.size(); ++i) {
    const int track = job.tracks[i];
    if (vk68_play(job.player, track) < 0) return engine_failure(), -1;
    const uint64_t want = track_samples(job, track);
    uint64_t done = 0;
    bool ended = false;
    while (done < want && !(ended && job.seconds == 0)) {
      if (ended) vk68_play(job.player, track);  // a fixed time loops the track
      Pull p{};
      if (!pull(job.player, buffer.data(), int(std::min<uint64_t>(kChunk, want - done)), p))
        return -1;
      ended = p.ended;
      for (int k = 0; k < p.written; ++k) put_le(&bytes[4 * size_t(k)], buffer[size_t(k)], 4);
      if (!write_output(out, bytes.data(), 4 * size_t(p.written))) return -1;
      done += uint64_t(p.written);
      total += uint64_t(p.written);
      progress.update(total, int(i) + 1, int(job.tracks.size()));
    }
  }
  return int64_t(total);
}

// Writes the header (sizes to come, or those of a stream), the samples, and
// on a file the real sizes; true when all went well.
bool write_wav(const Job &job, uint64_t planned, bool quiet, Output &out, uint64_t &samples) {
  const uint32_t rate = job.player->sampling_rate;
  uint8_t header[kWavHeader];
  wav_header(header, rate, kUnknownSize, kUnknownSize);
  if (!write_output(out, header, kWavHeader)) return false;
  Progress progress(planned, !quiet);
  const int64_t rendered = render(job, out, progress);
  if (rendered < 0) return false;
  // Own time ends within the last frame: the plan may be a little over.
  progress.update(planned, int(job.tracks.size()), int(job.tracks.size()));
  samples = uint64_t(rendered);
  if (!out.seekable) return true;
  const uint32_t data = uint32_t(samples * 4);
  wav_header(header, rate, kRiffBase + data, data);
  if (std::fseek(out.file, 0, SEEK_SET) == 0) return write_output(out, header, kWavHeader);
  return failure(system_error("cannot write", out.path)), false;
}

// "h:mm:ss.mmm" (or "m:ss.mmm") for a number of samples at a rate, to the
// millisecond below, or above when `up`.
std::string duration(uint64_t samples, uint32_t rate, bool up = false) {
  return exact_time((samples * 1000 + (up ? rate - 1 : 0)) / rate);
}

}  // namespace

int cmd_render(const Args &args) {
  CommandLine line;
  if (!parse(args, {"--all", "--quiet"}, {"-o", "--track", "--seconds", "--rate", "--blend"},
             line) ||
      !expect_operands(line, {"music file"}))
    return kExitUsage;
  if (!line.has("-o")) return usage_error("missing output file (-o OUT.wav)");
  if (line.has("--all") && line.has("--track"))
    return usage_error("--track and --all exclude each other");
  long track = 0, rate = 0, blend = -1;
  double seconds = 0;
  if (!number(line, "--track", 1, DISK68_MAX_TRACKS, track) || !seconds_option(line, seconds) ||
      !number(line, "--rate", kMinRate, kMaxRate, rate) ||
      !number(line, "--blend", 0, 65536, blend))
    return kExitUsage;
  const bool quiet = line.has("--quiet");
  const std::string &in = line.operands[0], &path = line.options["-o"];

  Player68 *player = open_player(in, int(rate), int(blend));
  if (!player) return kExitFailure;
  if (!has_track(player, in, int(track))) {
    close_player(player);
    return kExitFailure;
  }
  Job job{player, seconds, {}};
  if (line.has("--all")) {
    for (int t = 1; t <= vk68_track_count(player); ++t) job.tracks.push_back(t);
  } else {
    job.tracks.push_back(track ? int(track) : player->disk->default_track + 1);
  }
  uint64_t planned = 0;
  for (int t : job.tracks) planned += track_samples(job, t);
  const uint32_t hz = player->sampling_rate;
  int status = kExitFailure;
  Output out;
  uint64_t samples = 0;
  if (planned > kWavMaxData / 4) {
    failure("too long for a WAV file: " + duration(planned, hz, true) + " at " +
            std::to_string(hz) + " Hz, at most " + duration(kWavMaxData / 4, hz) + " fit");
  } else if (open_output(path, in, out)) {
    const bool written = close_output(out, write_wav(job, planned, quiet, out, samples));
    if (written) status = kExitOk;
  }
  close_player(player);
  if (status == kExitOk && !quiet) {
    const size_t n = job.tracks.size();
    report_written(path, std::to_string(n) + (n == 1 ? " track, " : " tracks, ") +
                             duration(samples, hz) + " at " + std::to_string(hz) + " Hz");
  }
  return status;
}

}  // namespace vk68tool
