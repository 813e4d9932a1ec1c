// m68k_vectors: runs single-instruction 68000 reference vectors against the
// instruction core on a flat 16 MiB memory.
//
// Usage: m68k_vectors <file.json.gz | folder>...
// A folder contributes every *.json.gz in it except RESET and STOP, which
// this CPU handles differently by design (it resets itself on RESET and
// keeps running after STOP). Prints one line per file and a final
// "N passed, M failed" line; exits with 0 only when nothing failed.
//
// Comparison rules of the vector set: D0-D7, A0-A6, A7 against the
// supervisor stack pointer, USP, PC, every listed RAM byte, and SR under
// 0xA71F (0xA01F after an exception, since this CPU raises the interrupt
// mask to 7 on every exception). Flags the 68000 leaves undefined and this
// CPU does not model are left out: N and Z after a DIVU/DIVS overflow.
//
// Two recorded vectors contradict themselves: a byte shift of a data register
// that changes the register's bits 8-31. They are reported as skipped, not
// run, as long as the file still shows that contradiction.
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "emu68/emu68.h"
#include "emu68/flat68.h"

namespace {

struct State {
  uint32_t d[8] = {}, a[7] = {}, usp = 0, ssp = 0, sr = 0, pc = 0;
  uint32_t prefetch[2] = {};
  std::vector<std::pair<uint32_t, uint32_t>> ram;
};

struct Test {
  std::string name;
  State initial, final;
  int exception = -1;
};

// A lean reader for the vector files: objects, arrays, strings and
// unsigned integers are all they contain.
class Reader {
 public:
  Reader(const char *begin, const char *end) : p_(begin), end_(end) {}

  bool tests(std::vector<Test> *out) {
    if (!take('[')) return false;
    if (take(']')) return true;
    do {
      out->emplace_back();
      if (!test(&out->back())) return false;
    } while (take(','));
    return take(']');
  }
  std::size_t offset(const char *begin) const { return static_cast<std::size_t>(p_ - begin); }

 private:
  void space() {
    while (p_ < end_ && (*p_ == ' ' || *p_ == '\n' || *p_ == '\r' || *p_ == '\t')) ++p_;
  }
  bool take(char c) {
    space();
    if (p_ < end_ && *p_ == c) {
      ++p_;
      return true;
    }
    return false;
  }
  bool string(std::string *s) {
    if (!take('"')) return false;
    s->clear();
    while (p_ < end_ && *p_ != '"') {
      if (*p_ == '\\' && p_ + 1 < end_) ++p_;
      s->push_back(*p_++);
    }
    return take('"');
  }
  bool number(uint32_t *v) {
    space();
    if (p_ >= end_ || *p_ < '0' || *p_ > '9') return false;
    uint64_t n = 0;
    while (p_ < end_ && *p_ >= '0' && *p_ <= '9') n = n * 10 + static_cast<uint64_t>(*p_++ - '0');
    *v = static_cast<uint32_t>(n);
    return n <= 0xFFFFFFFFu;
  }
  // Any value, discarded.
  bool skip() {
    space();
    if (p_ >= end_) return false;
    if (*p_ == '"') {
      std::string s;
      return string(&s);
    }
    if (*p_ == '[' || *p_ == '{') {
      char close = *p_ == '[' ? ']' : '}';
      ++p_;
      if (take(close)) return true;
      do {
        if (close == '}') {
          std::string key;
          if (!string(&key) || !take(':')) return false;
        }
        if (!skip()) return false;
      } while (take(','));
      return take(close);
    }
    while (p_ < end_ && *p_ != ',' && *p_ != ']' && *p_ != '}') ++p_;
    return true;
  }
  template <class F>
  bool object(F field) {
    if (!take('{')) return false;
    if (take('}')) return true;
    do {
      std::string key;
      if (!string(&key) || !take(':') || !field(key)) return false;
    } while (take(','));
    return take('}');
  }
  bool state(State *s) {
    return object([&](const std::string &key) {
      if (key.size() == 2 && (key[0] == 'd' || key[0] == 'a') && key[1] >= '0' && key[1] <= '7') {
        int n = key[1] - '0';
        if (key[0] == 'a' && n == 7) return skip();
        return number(key[0] == 'd' ? &s->d[n] : &s->a[n]);
      }
      if (key == "usp") return number(&s->usp);
      if (key == "ssp") return number(&s->ssp);
      if (key == "sr") return number(&s->sr);
      if (key == "pc") return number(&s->pc);
      if (key == "prefetch")
        return take('[') && number(&s->prefetch[0]) && take(',') && number(&s->prefetch[1]) &&
               take(']');
      if (key == "ram") {
        if (!take('[')) return false;
        if (take(']')) return true;
        do {
          uint32_t address, value;
          if (!take('[') || !number(&address) || !take(',') || !number(&value) || !take(']'))
            return false;
          s->ram.emplace_back(address, value);
        } while (take(','));
        return take(']');
      }
      return skip();
    });
  }
  bool test(Test *t) {
    return object([&](const std::string &key) {
      if (key == "name") return string(&t->name);
      if (key == "initial") return state(&t->initial);
      if (key == "final") return state(&t->final);
      if (key == "exception") {
        uint32_t v;
        if (!number(&v)) return false;
        t->exception = static_cast<int>(v);
        return true;
      }
      return skip();
    });
  }

  const char *p_, *end_;
};

bool read_gzip(const std::string &path, std::string *out) {
  gzFile f = gzopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  char buffer[1 << 16];
  int n;
  out->clear();
  while ((n = gzread(f, buffer, sizeof buffer)) > 0)
    out->append(buffer, static_cast<std::size_t>(n));
  bool ok = n == 0;
  gzclose(f);
  return ok;
}

// Flags this CPU does not claim to produce, by operation.
uint32_t undefined_flags(const std::string &op, const Test &t) {
  constexpr uint32_t V = 2, Z = 4, N = 8;
  if ((op == "DIVU" || op == "DIVS") && t.exception < 0 && (t.final.sr & V)) return N | Z;
  return 0;
}

// Self-contradicting vectors: name and the data register whose bits 8-31
// the vector changes although the instruction works on its low byte.
struct Inconsistent {
  const char *name;
  int reg;
};
constexpr Inconsistent kInconsistent[] = {
    {"e502 [ASL.b Q, D2] 1583", 2},
    {"e502 [ASL.b Q, D2] 1761", 2},
};

bool inconsistent(const Test &t) {
  for (const Inconsistent &v : kInconsistent)
    if (t.name == v.name && (t.initial.d[v.reg] >> 8) != (t.final.d[v.reg] >> 8)) return true;
  return false;
}

std::vector<uint8_t> memory(emu68::flat::kSize);

// Runs one test; on failure appends a description of the differences.
bool run(const std::string &op, const Test &t, std::string *diff) {
  const State &in = t.initial, &out = t.final;
  auto poke = [](uint32_t a, uint32_t v) {
    memory[a & (emu68::flat::kSize - 1)] = static_cast<uint8_t>(v);
  };
  poke(in.pc, in.prefetch[0] >> 8);
  poke(in.pc + 1, in.prefetch[0]);
  poke(in.pc + 2, in.prefetch[1] >> 8);
  poke(in.pc + 3, in.prefetch[1]);
  for (auto [a, v] : in.ram) poke(a, v);

  Reg68 r{};
  std::memcpy(r.d, in.d, sizeof r.d);
  std::memcpy(r.a, in.a, sizeof in.a);
  r.a[7] = in.ssp;
  r.usp = in.usp;
  r.pc = in.pc;
  r.sr = in.sr;
  EMU68_load_registers(&r);
  emu68::flat::step_one();
  EMU68_save_registers(&r);
  while (EMU68_pop_error() != nullptr) {
  }

  char line[96];
  auto check = [&](const char *what, uint32_t got, uint32_t want) {
    if (got == want) return;
    std::snprintf(line, sizeof line, " %s=%08X(want %08X)", what, got, want);
    *diff += line;
  };
  static const char *dn[8] = {"D0", "D1", "D2", "D3", "D4", "D5", "D6", "D7"};
  static const char *an[7] = {"A0", "A1", "A2", "A3", "A4", "A5", "A6"};
  for (int i = 0; i < 8; ++i) check(dn[i], r.d[i], out.d[i]);
  for (int i = 0; i < 7; ++i) check(an[i], r.a[i], out.a[i]);
  check("A7", r.a[7], out.ssp);
  check("USP", r.usp, out.usp);
  check("PC", r.pc, out.pc);
  uint32_t sr_mask = (t.exception >= 0 ? 0xA01Fu : 0xA71Fu) & ~undefined_flags(op, t);
  check("SR", r.sr & sr_mask, out.sr & sr_mask);
  for (auto [a, v] : out.ram) {
    uint32_t got = memory[a & (emu68::flat::kSize - 1)];
    if (got != v) {
      std::snprintf(line, sizeof line, " [%06X]=%02X(want %02X)", a, got, v);
      *diff += line;
    }
  }
  // Leave the memory all zero for the next test.
  for (int i = 0; i < 4; ++i) poke(in.pc + static_cast<uint32_t>(i), 0);
  for (auto [a, v] : in.ram) poke(a, 0);
  for (auto [a, v] : out.ram) poke(a, 0);
  return diff->empty();
}

struct Totals {
  long passed = 0, failed = 0;
  bool error = false;
};

void run_file(const std::filesystem::path &path, Totals *totals) {
  std::string text;
  std::vector<Test> tests;
  std::string name = path.filename().string();
  if (!read_gzip(path.string(), &text)) {
    std::printf("%s: cannot read\n", name.c_str());
    totals->error = true;
    return;
  }
  Reader reader(text.data(), text.data() + text.size());
  if (!reader.tests(&tests)) {
    std::printf("%s: malformed at byte %zu\n", name.c_str(), reader.offset(text.data()));
    totals->error = true;
    return;
  }
  // The operation is the file name up to the first dot ("ADD.b" -> "ADD").
  std::string op = name.substr(0, name.find('.'));
  long passed = 0, failed = 0, skipped = 0;
  std::string first;
  for (const Test &t : tests) {
    if (inconsistent(t)) {
      ++skipped;
      continue;
    }
    std::string diff;
    if (run(op, t, &diff)) {
      ++passed;
    } else {
      if (failed == 0) first = t.name + ":" + diff;
      ++failed;
    }
  }
  std::printf("%-22s %6ld passed %6ld failed", name.c_str(), passed, failed);
  if (skipped) std::printf("  (%ld inconsistent vectors skipped)", skipped);
  if (failed) std::printf("  first: %s", first.c_str());
  std::printf("\n");
  totals->passed += passed;
  totals->failed += failed;
}

bool is_vector_file(const std::filesystem::path &p) {
  std::string n = p.filename().string();
  return n.size() > 8 && n.compare(n.size() - 8, 8, ".json.gz") == 0;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <file.json.gz | folder>...\n", argv[0]);
    return 2;
  }
  emu68::flat::set_memory(memory.data());
  Totals totals;
  for (int i = 1; i < argc; ++i) {
    std::filesystem::path arg(argv[i]);
    std::error_code ec;
    if (std::filesystem::is_directory(arg, ec)) {
      std::vector<std::filesystem::path> files;
      for (const auto &e : std::filesystem::directory_iterator(arg, ec)) {
        std::string n = e.path().filename().string();
        if (is_vector_file(e.path()) && n.rfind("RESET.", 0) != 0 && n.rfind("STOP.", 0) != 0)
          files.push_back(e.path());
      }
      std::sort(files.begin(), files.end());
      if (files.empty()) {
        std::printf("%s: no vector files\n", argv[i]);
        totals.error = true;
      }
      for (const auto &f : files) run_file(f, &totals);
    } else {
      run_file(arg, &totals);
    }
  }
  std::printf("%ld passed, %ld failed\n", totals.passed, totals.failed);
  return totals.failed == 0 && !totals.error && totals.passed > 0 ? 0 : 1;
}
