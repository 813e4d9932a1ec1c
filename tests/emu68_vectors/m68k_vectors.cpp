// m68k_vectors FILE.json.gz|FOLDER...: runs single-instruction 68000
// reference vectors (the public SingleStepTests 680x0 set) against the
// instruction core on a flat 16 MiB memory, all but RESET and STOP, which
// this CPU handles its own way. Compares every register (A7 against "ssp";
// SR under 0xA71F, 0xA01F after an exception, as this CPU raises the mask
// to 7; N and Z left out after a DIVU/DIVS overflow, where they are
// undefined) and the listed RAM bytes. Exits 0 when nothing failed, 77
// (skipped) when a folder holds no vectors.
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "emu68/emu68.h"
#include "emu68/flat68.h"

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> memory(emu68::flat::kSize);
Emu68 emu;
uint8_t &at(uint32_t address) { return memory[address & (emu68::flat::kSize - 1)]; }

// The registers of a vector state, and where each lives in Reg68 (A7 is
// "ssp").
constexpr std::string_view kRegs[19] = {"d0", "d1",  "d2",  "d3", "d4", "d5", "d6",
                                        "d7", "a0",  "a1",  "a2", "a3", "a4", "a5",
                                        "a6", "usp", "ssp", "sr", "pc"};
constexpr int kD2 = 2, kSr = 17, kPc = 18;
uint32_t &slot(Reg68 &r, int i) {
  return i < 15     ? (i < 8 ? r.d[i] : r.a[i - 8])
         : i == 15  ? r.usp
         : i == 16  ? r.a[7]
         : i == kSr ? r.sr
                    : r.pc;
}

using Json = nlohmann::json;

// A register of a vector state (it throws when the state has none).
uint32_t reg(const Json &state, int i) { return state.at(std::string(kRegs[i])).get<uint32_t>(); }

// Two recorded vectors contradict themselves: a byte shift that changes bits
// 8-31 of its register. They are skipped while the files still show it.
bool contradictory(const Json &v) {
  const std::string name = v.at("name").get<std::string>();
  return (name == "e502 [ASL.b Q, D2] 1583" || name == "e502 [ASL.b Q, D2] 1761") &&
         (reg(v["initial"], kD2) >> 8) != (reg(v["final"], kD2) >> 8);
}

// Runs one test: the initial state's registers, two prefetch words and RAM
// bytes ([address, value] pairs), one instruction, the final state's
// registers and RAM bytes. Returns the differences ("" when it passed).
std::string run(const std::string &op, const Json &v) {
  const Json &in = v.at("initial"), &out = v.at("final");
  const bool exception = v.contains("exception");
  Reg68 r;
  for (int i = 0; i < 19; ++i) slot(r, i) = reg(in, i);
  for (uint32_t i = 0; i < 4; ++i)
    at(r.pc + i) =
        static_cast<uint8_t>(in.at("prefetch").at(i / 2).get<uint32_t>() >> (i % 2 ? 0 : 8));
  for (const Json &b : in.at("ram")) at(b.at(0).get<uint32_t>()) = b.at(1).get<uint8_t>();
  EMU68_load_registers(&emu, &r);
  emu68::flat::step_one(&emu);
  EMU68_save_registers(&emu, &r);
  while (EMU68_pop_error(&emu) != nullptr) {
  }
  uint32_t sr_mask = exception ? 0xA01F : 0xA71F;
  if ((op == "DIVU" || op == "DIVS") && !exception && (reg(out, kSr) & 2)) sr_mask &= ~0x0Cu;
  std::string diff;
  char line[64];
  for (int i = 0; i < 19; ++i) {
    const uint32_t mask = i == kSr ? sr_mask : 0xFFFFFFFF, got = slot(r, i) & mask,
                   want = reg(out, i) & mask;
    if (got == want) continue;
    std::snprintf(line, sizeof line, " %s=%08X(want %08X)", kRegs[i].data(), got, want);
    diff += line;
  }
  for (const Json &b : out.at("ram")) {
    const uint32_t address = b.at(0).get<uint32_t>(), want = b.at(1).get<uint32_t>();
    if (at(address) == want) continue;
    std::snprintf(line, sizeof line, " [%06X]=%02X(want %02X)", address, at(address), want);
    diff += line;
  }
  // Leave the memory all zero for the next test.
  for (uint32_t i = 0; i < 4; ++i) at(reg(in, kPc) + i) = 0;
  for (const Json *s : {&in, &out})
    for (const Json &b : s->at("ram")) at(b.at(0).get<uint32_t>()) = 0;
  return diff;
}

// Runs a file; counts its results, false when it cannot be read.
bool run_file(const fs::path &path, long *passed, long *failed) {
  const std::string name = path.filename().string(), op = name.substr(0, name.find('.'));
  std::string text;
  char buffer[1 << 16];
  gzFile f = gzopen(path.c_str(), "rb");
  int n = f ? 0 : -1;
  while (f && (n = gzread(f, buffer, sizeof buffer)) > 0)
    text.append(buffer, static_cast<size_t>(n));
  if (f) gzclose(f);
  long ok = 0, bad = 0, skipped = 0;
  std::string first;
  const Json file = Json::parse(text, nullptr, false);
  bool read = n == 0 && file.is_array();
  try {
    for (size_t i = 0; read && i < file.size(); ++i) {
      if (contradictory(file[i])) {
        ++skipped;
        continue;
      }
      const std::string diff = run(op, file[i]);
      if (diff.empty()) {
        ++ok;
      } else if (bad++ == 0) {
        first = file[i]["name"].get<std::string>() + ":" + diff;
      }
    }
  } catch (const Json::exception &) {
    read = false;
  }
  if (!read) {
    std::printf("%s: cannot read\n", name.c_str());
    return false;
  }
  std::printf("%-22s %6ld passed %6ld failed %ld contradictory  %s\n", name.c_str(), ok, bad,
              skipped, first.c_str());
  *passed += ok;
  *failed += bad;
  return true;
}

}  // namespace

int main(int argc, char **argv) {
  std::vector<fs::path> files;
  for (int i = 1; i < argc; ++i) {
    std::error_code ec;
    if (fs::is_regular_file(argv[i], ec)) {
      files.emplace_back(argv[i]);
      continue;
    }
    const size_t before = files.size();
    for (const auto &e : fs::directory_iterator(argv[i], ec)) {
      const std::string n = e.path().filename().string();
      if (n.ends_with(".json.gz") && !n.starts_with("RESET.") && !n.starts_with("STOP."))
        files.push_back(e.path());
    }
    if (files.size() == before) {
      std::printf(
          "skipped: no 68000 vectors in %s; they are the public SingleStepTests 680x0 "
          "set, configure with -DVK68_M68K_VECTORS=<folder> to run them\n",
          argv[i]);
      return 77;
    }
  }
  if (files.empty()) {
    std::fprintf(stderr, "usage: %s <file.json.gz | folder>...\n", argv[0]);
    return 2;
  }
  std::sort(files.begin(), files.end());
  emu68::flat::set_memory(&emu, memory.data());
  long passed = 0, failed = 0;
  bool readable = true;
  for (const fs::path &f : files) readable = run_file(f, &passed, &failed) && readable;
  std::printf("%ld passed, %ld failed\n", passed, failed);
  return readable && failed == 0 && passed > 0 ? 0 : 1;
}
