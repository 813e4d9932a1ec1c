// vk68 render FILE -o OUT.wav | FILE... --out-dir DIR [-j N], with
// [--track N|--all] [--seconds S] [--rate HZ] [--blend F] [--clock C] [--quiet]:
// renders tracks of music files (Amiga modules too) into 16-bit stereo PCM
// WAV files, streaming (a file is written as the samples come; memory use
// does not grow with the length). With --out-dir each file goes to
// DIR/NAME.wav, N files at once, each on a thread with a song of its own.
// A progress bar goes to stderr when it is a terminal; a line on each file
// written follows (the lines of a batch in the order of its files).
//
// A regular file gets its real sizes in the header once the samples are
// written. Standard output ("-o -"), pipes and devices cannot be rewound:
// their header carries 0xFFFFFFFF as RIFF and data size, the usual mark of
// a WAV stream of unknown length.
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "playback.h"
#include "tool.h"

namespace vk68tool {
namespace {

constexpr size_t kChunk = 4096;      // sample frames per write
constexpr uint32_t kWavHeader = 44;  // RIFF + fmt + data chunk headers
constexpr uint32_t kRiffBase = 36;   // RIFF size = data size + the 36 header bytes after it
// RIFF sizes are 32-bit: the data chunk holds at most this many bytes.
constexpr uint64_t kWavMaxData = 0xFFFFFFFFull - kRiffBase;
constexpr uint32_t kUnknownSize = 0xFFFFFFFF;     // RIFF and data size of a stream
constexpr int kMinRate = 6000, kMaxRate = 50000;  // the YM's output range
constexpr double kMinSeconds = 0.001, kMaxSeconds = 86400;
constexpr int kMaxThreads = 64;
// What a track of unknown length plays unless the configuration says
// otherwise (its "default_time"); only the progress bar's plan uses it.
constexpr double kUnknownTrackSeconds = 180;

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

// "h:mm:ss.mmm" (or "m:ss.mmm") for a number of samples at a rate, to the
// millisecond below, or above when `up`.
std::string duration(uint64_t samples, uint32_t rate, bool up = false) {
  return exact_time((samples * 1000 + (up ? rate - 1 : 0)) / rate);
}

// One progress line for the whole run: each file's share done. Files call
// it from their own threads.
class Progress {
 public:
  Progress(size_t files, bool shown)
      : fractions_(files, 0.0), terminal_(shown && isatty(STDERR_FILENO)) {}
  ~Progress() {
    if (terminal_ && shown_ >= 0) std::fputs("\n", stderr);
  }
  // File `file` has `fraction` of its samples done; `detail` tells where a
  // single file is ("track 2/5").
  void update(size_t file, double fraction, const std::string &detail) {
    if (!terminal_) return;
    std::lock_guard<std::mutex> lock(mutex_);
    fractions_[file] = std::min(fraction, 1.0);
    double sum = 0;
    size_t done = 0;
    for (double f : fractions_) {
      sum += f;
      done += f >= 1.0;
    }
    const int percent = int(sum * 100 / double(fractions_.size()));
    const std::string where =
        fractions_.size() == 1
            ? detail
            : std::to_string(done) + "/" + std::to_string(fractions_.size()) + " files";
    if (percent == shown_ && where == where_) return;
    shown_ = percent;
    where_ = where;
    const int bar = percent / 4;
    std::fprintf(stderr, "\r[%.*s%.*s] %3d%%  %s ", bar, "#########################", 25 - bar,
                 ".........................", percent, where.c_str());
  }

 private:
  std::mutex mutex_;
  std::vector<double> fractions_;
  bool terminal_;
  int shown_ = -1;  // percent on screen
  std::string where_;
};

struct Settings {
  int track = 0;  // 0: the file's default track
  bool all = false;
  double seconds = 0;  // per track; 0: the track's own time
  int rate = 0;        // 0: the configured rate
  int blend = -1;      // -1: the configured blend
  int clock = VK68_SONG_DEFAULT;
  bool quiet = false;
};

// A file to render and where to, and what came of it.
struct Job {
  Job(const std::string &input, const std::string &output) : in(input), out(output) {}
  std::string in, out;
  std::vector<std::string> failures;  // for a batch: printed after the run
  std::string written;                // the line on what was written
  bool ok = false;
};

// Samples track n takes: S seconds, or its own time.
uint64_t planned_samples(const Settings &s, vk68_song *song, int track) {
  const double rate = vk68_song_rate(song);
  if (s.seconds > 0) return uint64_t(std::nearbyint(s.seconds * rate));
  const double own = vk68_song_duration(song, track);
  return uint64_t(std::llround((own > 0 ? own : kUnknownTrackSeconds) * rate));
}

// Renders the tracks into the output; the sample count, or -1 (reported).
// A fixed time loops a track; its own time ends where the song ends it.
int64_t render_tracks(const Settings &s, vk68_song *song, const std::string &in,
                      const std::vector<int> &tracks, uint64_t planned, Output &out,
                      const std::function<void(double, int)> &progress) {
  std::vector<int16_t> samples(2 * kChunk);
  std::vector<uint8_t> bytes(4 * kChunk);
  uint64_t total = 0;
  for (size_t i = 0; i < tracks.size(); ++i) {
    if (vk68_song_select_track(song, tracks[i]) < 0) return song_failure(song, in), -1;
    const uint64_t want = s.seconds > 0 ? planned_samples(s, song, tracks[i]) : UINT64_MAX;
    for (uint64_t done = 0; done < want;) {
      const size_t n = size_t(std::min<uint64_t>(kChunk, want - done));
      const size_t got = vk68_song_render(song, samples.data(), n);
      if (got < n && vk68_song_error(song)) return song_failure(song, in), -1;
      if ((total + got) * 4 > kWavMaxData) {
        const uint32_t hz = uint32_t(vk68_song_rate(song));
        failure("too long for a WAV file: more than " + duration(kWavMaxData / 4, hz) + " at " +
                std::to_string(hz) + " Hz");
        return -1;
      }
      for (size_t k = 0; k < 2 * got; ++k) put_le(&bytes[2 * k], uint16_t(samples[k]), 2);
      if (!write_output(out, bytes.data(), 4 * got)) return -1;
      done += got;
      total += got;
      progress(planned ? double(total) / double(planned) : 1.0, int(i) + 1);
      if (got < n) break;
    }
  }
  return int64_t(total);
}

// Renders one file: the header (sizes to come, or those of a stream), the
// samples, and on a file the real sizes. Reports what fails.
void render_file(const Settings &s, Job &job, size_t index, Progress &progress) {
  vk68_song_options options;
  vk68_song_options_init(&options);
  options.rate = s.rate;
  options.amiga_blend = s.blend;
  options.clock = s.clock;
  if (s.seconds > 0) options.loops = INT_MAX;  // a fixed time loops the track
  vk68_song *song = open_song(job.in, options);
  if (!song || !has_track(song, job.in, s.track)) {
    vk68_song_close(song);
    return;
  }
  std::vector<int> tracks;
  if (s.all) {
    for (int t = 1; t <= vk68_song_track_count(song); ++t) tracks.push_back(t);
  } else {
    tracks.push_back(s.track ? s.track : vk68_song_current_track(song));
  }
  uint64_t planned = 0;
  for (int t : tracks) planned += planned_samples(s, song, t);
  const uint32_t hz = uint32_t(vk68_song_rate(song));
  Output out;
  if (planned > kWavMaxData / 4) {
    failure("too long for a WAV file: " + duration(planned, hz, true) + " at " +
            std::to_string(hz) + " Hz, at most " + duration(kWavMaxData / 4, hz) + " fit");
  } else if (open_output(job.out, job.in, out)) {
    uint8_t header[kWavHeader];
    wav_header(header, hz, kUnknownSize, kUnknownSize);
    const std::string count = std::to_string(tracks.size());
    const auto show = [&](double fraction, int track) {
      progress.update(index, fraction, "track " + std::to_string(track) + "/" + count);
    };
    const int64_t samples = write_output(out, header, kWavHeader)
                                ? render_tracks(s, song, job.in, tracks, planned, out, show)
                                : -1;
    bool ok = samples >= 0;
    if (ok && out.seekable) {
      const uint32_t data = uint32_t(samples * 4);
      wav_header(header, hz, kRiffBase + data, data);
      ok = std::fseek(out.file, 0, SEEK_SET) == 0
               ? write_output(out, header, kWavHeader)
               : (failure(system_error("cannot write", out.path)), false);
    }
    job.ok = close_output(out, ok);
    // Own time ends within the last frame: the plan may be a little over.
    if (job.ok) show(1.0, int(tracks.size()));
    if (job.ok)
      job.written = count + (tracks.size() == 1 ? " track, " : " tracks, ") +
                    duration(uint64_t(samples), hz) + " at " + std::to_string(hz) + " Hz";
  }
  vk68_song_close(song);
}

// DIR/NAME.wav for a music file: its name without the directory and the
// last extension.
std::string output_in(const std::string &dir, const std::string &in) {
  std::string name =
      in.substr(in.find_last_of('/') == std::string::npos ? 0 : in.find_last_of('/') + 1);
  const size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return dir + (dir.empty() || dir.back() == '/' ? "" : "/") + name + ".wav";
}

// The batch's jobs: each file's output in DIR, refused when two files
// would write the same one (a usage mistake) or one would write another's
// input. False after a usage error.
bool batch_jobs(const std::vector<std::string> &files, const std::string &dir,
                std::vector<Job> &jobs) {
  std::map<std::string, std::string> taken;  // output -> its music file
  for (const std::string &in : files) {
    Job job(in, output_in(dir, in));
    const auto [at, fresh] = taken.emplace(job.out, in);
    if (!fresh)
      return usage_error(quoted(at->second) + " and " + quoted(in) + " would both be written to " +
                         quoted(job.out)),
             false;
    jobs.push_back(job);
  }
  for (Job &job : jobs) {
    for (const std::string &in : files) {
      if (in != job.in && same_file(job.out, in))
        job.failures.push_back("vk68: cannot write " + quoted(job.out) + ": it is the input file " +
                               quoted(in));
    }
  }
  return true;
}

// Runs the jobs on up to `threads` threads; each thread takes the next
// file when done with one. Failures wait in each job for the report.
void run_batch(const Settings &s, std::vector<Job> &jobs, int threads) {
  Progress progress(jobs.size(), !s.quiet);
  std::atomic<size_t> next = 0;
  auto work = [&] {
    for (size_t i; (i = next++) < jobs.size();) {
      if (!jobs[i].failures.empty()) continue;
      capture_failures(&jobs[i].failures);
      render_file(s, jobs[i], i, progress);
      capture_failures(nullptr);
      progress.update(i, 1.0, "");
    }
  };
  std::vector<std::thread> pool;
  for (int t = 1; t < std::min<int>(threads, int(jobs.size())); ++t) pool.emplace_back(work);
  work();
  for (std::thread &t : pool) t.join();
}

}  // namespace

int cmd_render(const Args &args) {
  CommandLine line;
  if (!parse(args, {"--all", "--quiet"},
             {"-o", "--out-dir", "-j", "--track", "--seconds", "--rate", "--blend", "--clock"},
             line))
    return kExitUsage;
  if (line.operands.empty()) return usage_error("missing music file");
  const bool batch = line.has("--out-dir");
  if (batch && line.has("-o")) return usage_error("-o and --out-dir exclude each other");
  if (!batch && !line.has("-o")) return usage_error("missing output file (-o OUT.wav)");
  if (!batch && line.operands.size() > 1)
    return usage_error("-o takes one music file; several go to --out-dir DIR");
  if (line.has("--all") && line.has("--track"))
    return usage_error("--track and --all exclude each other");
  long track = 0, rate = 0, blend = -1, threads = 1;
  Settings s;
  if (!number(line, "--track", 1, DISK68_MAX_TRACKS, track) || !seconds_option(line, s.seconds) ||
      !number(line, "--rate", kMinRate, kMaxRate, rate) ||
      !number(line, "--blend", 0, 65536, blend) || !number(line, "-j", 1, kMaxThreads, threads))
    return kExitUsage;
  s.track = int(track);
  s.all = line.has("--all");
  s.rate = int(rate);
  s.blend = int(blend);
  s.quiet = line.has("--quiet");
  if (line.has("--clock")) {
    const std::string &c = line.options["--clock"];
    if (c != "nominal" && c != "pal")
      return usage_error("option '--clock' needs nominal or pal, not '" + escaped(c) + "'");
    s.clock = c == "pal" ? VK68_SONG_CLOCK_PAL : VK68_SONG_CLOCK_NOMINAL;
  }

  std::vector<Job> jobs;
  if (!batch) {
    jobs.emplace_back(line.operands[0], line.options["-o"]);
    {
      Progress progress(1, !s.quiet);
      render_file(s, jobs[0], 0, progress);
    }
  } else {
    const std::string &dir = line.options["--out-dir"];
    if (!batch_jobs(line.operands, dir, jobs)) return kExitUsage;
    struct stat st;
    if (stat(dir.c_str(), &st) != 0 && mkdir(dir.c_str(), 0777) != 0)
      return failure(system_error("cannot make the folder", dir));
    run_batch(s, jobs, int(threads));
  }
  int status = kExitOk;
  for (const Job &job : jobs) {
    for (const std::string &f : job.failures) std::fprintf(stderr, "%s\n", f.c_str());
    if (!job.ok) status = kExitFailure;
    if (job.ok && !s.quiet) report_written(job.out, job.written);
  }
  return status;
}

}  // namespace vk68tool
