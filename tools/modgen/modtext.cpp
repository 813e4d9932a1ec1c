// Parser of module text descriptions and writer of the module bytes.
//
// The notation, one statement per line; a word starting with '#' starts a
// comment, blank lines are ignored, words are separated by blanks:
//
//   title "Name"            song title, up to 20 characters
//   samples 31              31 (default) or 15 sample slots (the original layout)
//   signature M.K.          M.K. (default), M!K!, M&K!, 4CHN or FLT4 (31 slots only)
//   restart 127             the byte after the song length (default 127; the tempo
//                           byte of the 15-slot layout)
//   order 0 1 1 2           song positions: pattern numbers, 1 to 128 in all
//                           (several order lines append)
//
//   instrument 1 "lead"     slot 1-31 (1-15 with 15 slots); its properties follow:
//     volume 48             0-64 (default 64)
//     finetune -2           -8..7 (default 0)
//     length 4096           sample length in bytes (made even); up to 131070
//     loop 2048 2048        loop start and length in bytes, even (default: no loop)
//     wave saw 32           a partial: waveform and cycle length in bytes (decimals
//     wave pulse 16 40 duty 25        allowed, e.g. 21.5); then optionally its amplitude in
//     wave sine 20 100 to 90 over 3000   percent (default 100), "duty D" (pulse: percent
//                           of the cycle spent high, default 50) and a sweep "to CYCLE
//                           over BYTES" (the rate of the waveform glides linearly to
//                           that of the second cycle length, then stays). Waveforms:
//                           sine, square, pulse, saw, triangle, noise (for noise the
//                           cycle is the number of bytes each random value holds).
//     attack 64             envelope: linear rise over 64 bytes (default 0)
//     decay 1024 40         then a linear fall to 40 % over 1024 bytes, held after
//     decay exp 600         or an exponential fall, halving every 600 bytes
//     gain 90               peak of the mixed sample, percent of full scale (default 100)
//     data 0 12 -40 90      explicit signed sample bytes instead of partials (append;
//                           the length is then their count, made even)
//   A looping sample keeps, from the loop start on, the envelope's value at the
//   loop start, so its loop repeats seamlessly when the loop holds whole cycles.
//   The first two bytes of a sample without a loop are silent (the tracker's
//   convention for one-shot samples).
//
//   pattern 0               a pattern of 64 rows; each following line is one row of
//     C-2 01 000  --- 00 000  E-2 02 C20  ... .. ...
//                           four cells NOTE INSTRUMENT EFFECT. NOTE: C-1 to B-3 with
//                           '#' for sharps (C#2), or --- / ... for none. INSTRUMENT:
//                           two hex digits, 00 / -- / .. for none. EFFECT: command and
//                           parameter in three hex digits (A0F), 000 / --- / ... for
//                           none. A row may start with "NN:" (decimal) to go to row NN;
//                           skipped and trailing rows stay empty. '|' is ignored.
//
// Every pattern number from 0 to the highest one ordered is written (an
// undefined one is empty); defining a pattern that is not ordered is an error.
#include "modtext.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>
#include <sstream>

namespace modgen {
namespace {

constexpr int kRows = 64;
constexpr int kMaxPositions = 128;
constexpr int kMaxPatterns = 100;           // the tracker's pattern range
constexpr int kMaxSampleBytes = 2 * 65535;  // the header's length is a word count
constexpr int kTitleLength = 20;
constexpr int kSampleNameLength = 22;

// Finetune-0 periods of the tracker's three octaves, C-1 to B-3 (Amiga PAL
// clock ticks per sample).
constexpr std::array<uint16_t, 36> kPeriods = {
    856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453, 428, 404, 381, 360, 339, 320,
    302, 285, 269, 254, 240, 226, 214, 202, 190, 180, 170, 160, 151, 143, 135, 127, 120, 113};

struct Line {
  int number;
  std::vector<std::string> words;  // quoted texts keep their quotes
};

// Splits a line into words; a quoted text is one word. False on an
// unterminated quote.
bool split(const std::string &text, std::vector<std::string> &words) {
  size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c == '#') break;
    if (std::isspace(static_cast<unsigned char>(c)) || c == '|') {
      ++i;
    } else if (c == '"') {
      const size_t end = text.find('"', i + 1);
      if (end == std::string::npos) return false;
      words.push_back(text.substr(i, end + 1 - i));
      i = end + 1;
    } else {
      size_t end = i;
      while (end < text.size() && !std::isspace(static_cast<unsigned char>(text[end])) &&
             text[end] != '|' && text[end] != '"')
        ++end;
      words.push_back(text.substr(i, end - i));
      i = end;
    }
  }
  return true;
}

class Parser {
 public:
  explicit Parser(Module &m) : m_(m) {}

  bool run(const std::string &text, std::string &error) {
    std::istringstream in(text);
    std::string raw;
    Line line{0, {}};
    while (std::getline(in, raw)) {
      ++line.number;
      line.words.clear();
      if (!split(raw, line.words)) return fail(line, "unterminated quote", error);
      if (line.words.empty()) continue;
      if (!statement(line)) return fail(line, problem_, error);
    }
    if (!finish()) return fail(line, problem_, error);
    return true;
  }

 private:
  enum class Block { kNone, kInstrument, kPattern };

  static bool fail(const Line &line, const std::string &what, std::string &error) {
    error = "line " + std::to_string(line.number) + ": " + what;
    return false;
  }
  bool problem(const std::string &what) {
    problem_ = what;
    return false;
  }

  bool integer(const std::string &word, int low, int high, int &out) {
    char *end = nullptr;
    const long v = std::strtol(word.c_str(), &end, 10);
    if (word.empty() || *end != '\0' || v < low || v > high)
      return problem("expected a number from " + std::to_string(low) + " to " +
                     std::to_string(high) + ", got '" + word + "'");
    out = static_cast<int>(v);
    return true;
  }

  // A decimal number of bytes with up to three decimals, in 1/1000.
  bool milli(const std::string &word, int64_t &out) {
    int64_t whole = 0, frac = 0;
    size_t i = 0;
    int digits = 0, decimals = 0;
    for (; i < word.size() && std::isdigit(static_cast<unsigned char>(word[i])); ++i, ++digits)
      whole = whole * 10 + (word[i] - '0');
    if (i < word.size() && word[i] == '.') {
      for (++i; i < word.size() && std::isdigit(static_cast<unsigned char>(word[i])); ++i) {
        if (++decimals > 3) return problem("at most three decimals in '" + word + "'");
        frac = frac * 10 + (word[i] - '0');
      }
    }
    if (i != word.size() || digits == 0 || digits > 6)
      return problem("expected a length in bytes, got '" + word + "'");
    for (; decimals < 3; ++decimals) frac *= 10;
    out = whole * 1000 + frac;
    if (out < 1000) return problem("a cycle is at least 1 byte long");
    return true;
  }

  bool text(const std::string &word, size_t limit, std::string &out) {
    if (word.size() < 2 || word.front() != '"') return problem("expected a quoted text");
    out = word.substr(1, word.size() - 2);
    if (out.size() > limit)
      return problem("text longer than " + std::to_string(limit) + " characters");
    return true;
  }

  bool count(const Line &line, size_t low, size_t high) {
    const size_t n = line.words.size() - 1;
    if (n < low || n > high) return problem("wrong number of values for '" + line.words[0] + "'");
    return true;
  }

  bool statement(const Line &line) {
    const std::string &key = line.words[0];
    const std::vector<std::string> &w = line.words;
    if (key == "title") return count(line, 1, 1) && text(w[1], kTitleLength, m_.title) && top();
    if (key == "samples") {
      if (!count(line, 1, 1) || !integer(w[1], 15, 31, m_.slots)) return false;
      if (m_.slots != 15 && m_.slots != 31) return problem("samples is 15 or 31");
      return top();
    }
    if (key == "signature") {
      if (!count(line, 1, 1)) return false;
      if (w[1] != "M.K." && w[1] != "M!K!" && w[1] != "M&K!" && w[1] != "4CHN" && w[1] != "FLT4")
        return problem("unknown signature '" + w[1] + "'");
      m_.signature = w[1];
      signature_set_ = true;
      return top();
    }
    if (key == "restart") return count(line, 1, 1) && integer(w[1], 0, 255, m_.restart) && top();
    if (key == "order") {
      if (!count(line, 1, kMaxPositions)) return false;
      for (size_t i = 1; i < w.size(); ++i) {
        int p = 0;
        if (!integer(w[i], 0, kMaxPatterns - 1, p)) return false;
        m_.order.push_back(p);
      }
      if (m_.order.size() > kMaxPositions) return problem("more than 128 song positions");
      return top();
    }
    if (key == "instrument") return begin_instrument(line);
    if (key == "pattern") return begin_pattern(line);
    if (block_ == Block::kInstrument) return instrument_property(line);
    if (block_ == Block::kPattern) return pattern_row(line);
    return problem("unknown statement '" + key + "'");
  }

  bool top() {
    block_ = Block::kNone;
    return true;
  }

  bool begin_instrument(const Line &line) {
    int slot = 0;
    if (!count(line, 1, 2) || !integer(line.words[1], 1, 31, slot)) return false;
    Instrument &ins = m_.instruments[slot];
    if (ins.defined) return problem("instrument " + std::to_string(slot) + " defined twice");
    ins.defined = true;
    if (line.words.size() == 3 && !text(line.words[2], kSampleNameLength, ins.name)) return false;
    ins_ = &ins;
    block_ = Block::kInstrument;
    return true;
  }

  bool wave(const Line &line) {
    const std::vector<std::string> &w = line.words;
    static const std::map<std::string, Wave> kWaves = {
        {"sine", Wave::kSine}, {"square", Wave::kSquare},     {"pulse", Wave::kPulse},
        {"saw", Wave::kSaw},   {"triangle", Wave::kTriangle}, {"noise", Wave::kNoise}};
    if (w.size() < 3) return problem("wave needs a waveform and a cycle length");
    const auto kind = kWaves.find(w[1]);
    if (kind == kWaves.end()) return problem("unknown waveform '" + w[1] + "'");
    Partial p;
    p.wave = kind->second;
    if (!milli(w[2], p.cycle)) return false;
    p.end_cycle = p.cycle;
    size_t i = 3;
    if (i < w.size() && std::isdigit(static_cast<unsigned char>(w[i][0])))
      if (!integer(w[i++], 0, 1000, p.amplitude)) return false;
    while (i < w.size()) {
      if (w[i] == "duty" && i + 1 < w.size()) {
        if (!integer(w[i + 1], 1, 99, p.duty)) return false;
        i += 2;
      } else if (w[i] == "to" && i + 3 < w.size() && w[i + 2] == "over") {
        if (!milli(w[i + 1], p.end_cycle) || !integer(w[i + 3], 1, kMaxSampleBytes, p.sweep))
          return false;
        i += 4;
      } else {
        return problem("unexpected '" + w[i] + "' in wave");
      }
    }
    ins_->partials.push_back(p);
    return true;
  }

  bool instrument_property(const Line &line) {
    const std::string &key = line.words[0];
    const std::vector<std::string> &w = line.words;
    Instrument &ins = *ins_;
    if (key == "volume") return count(line, 1, 1) && integer(w[1], 0, 64, ins.volume);
    if (key == "finetune") return count(line, 1, 1) && integer(w[1], -8, 7, ins.finetune);
    if (key == "length") return count(line, 1, 1) && integer(w[1], 2, kMaxSampleBytes, ins.length);
    if (key == "loop")
      return count(line, 2, 2) && integer(w[1], 0, kMaxSampleBytes, ins.loop_start) &&
             integer(w[2], 2, kMaxSampleBytes, ins.loop_length);
    if (key == "wave") return wave(line);
    if (key == "attack") return count(line, 1, 1) && integer(w[1], 0, kMaxSampleBytes, ins.attack);
    if (key == "decay") {
      if (!count(line, 2, 2)) return false;
      if (w[1] == "exp") return integer(w[2], 1, kMaxSampleBytes, ins.half_life);
      return integer(w[1], 0, kMaxSampleBytes, ins.decay) && integer(w[2], 0, 100, ins.sustain);
    }
    if (key == "gain") return count(line, 1, 1) && integer(w[1], 0, 100, ins.gain);
    if (key == "data") {
      for (size_t i = 1; i < w.size(); ++i) {
        int v = 0;
        if (!integer(w[i], -128, 127, v)) return false;
        ins.data.push_back(static_cast<int8_t>(v));
      }
      return true;
    }
    return problem("unknown instrument property '" + key + "'");
  }

  bool begin_pattern(const Line &line) {
    int number = 0;
    if (!count(line, 1, 1) || !integer(line.words[1], 0, kMaxPatterns - 1, number)) return false;
    if (static_cast<size_t>(number) >= m_.patterns.size()) {
      m_.patterns.resize(number + 1);
      m_.pattern_defined.resize(number + 1);
    }
    if (m_.pattern_defined[number])
      return problem("pattern " + std::to_string(number) + " defined twice");
    m_.pattern_defined[number] = true;
    pattern_ = number;
    row_ = 0;
    block_ = Block::kPattern;
    return true;
  }

  bool note(const std::string &w, uint16_t &period) {
    if (w == "---" || w == "...") {
      period = 0;
      return true;
    }
    static const std::string kNames = "C-C#D-D#E-F-F#G-G#A-A#B-";
    const size_t at = w.size() == 3 ? kNames.find(w.substr(0, 2)) : std::string::npos;
    if (at == std::string::npos || at % 2 != 0 || w[2] < '1' || w[2] > '3')
      return problem("expected a note C-1 to B-3, got '" + w + "'");
    period = kPeriods[(w[2] - '1') * 12 + at / 2];
    return true;
  }

  bool hex(const std::string &w, size_t digits, const char *blank, uint32_t &out) {
    if (w == std::string(digits, '-') || w == std::string(digits, '.')) {
      out = 0;
      return true;
    }
    char *end = nullptr;
    out = static_cast<uint32_t>(std::strtoul(w.c_str(), &end, 16));
    if (w.size() != digits || *end != '\0' || !std::isxdigit(static_cast<unsigned char>(w[0])))
      return problem(std::string("expected ") + blank + " or " + std::to_string(digits) +
                     " hex digits, got '" + w + "'");
    return true;
  }

  bool pattern_row(const Line &line) {
    std::vector<std::string> w = line.words;
    if (!w.empty() && w[0].back() == ':') {
      int at = 0;
      if (!integer(w[0].substr(0, w[0].size() - 1), 0, kRows - 1, at)) return false;
      if (at < row_) return problem("row " + std::to_string(at) + " goes backwards");
      row_ = at;
      w.erase(w.begin());
    }
    if (row_ >= kRows) return problem("more than 64 rows");
    if (w.size() != 12) return problem("a row has four cells of note, instrument and effect");
    for (int c = 0; c < 4; ++c) {
      Cell &cell = m_.patterns[pattern_][row_][c];
      uint32_t ins = 0, effect = 0;
      if (!note(w[3 * c], cell.period) || !hex(w[3 * c + 1], 2, "--", ins) ||
          !hex(w[3 * c + 2], 3, "---", effect))
        return false;
      if (ins > static_cast<uint32_t>(m_.slots))
        return problem("instrument " + w[3 * c + 1] + " is beyond the sample slots");
      cell.instrument = static_cast<uint8_t>(ins);
      cell.effect = static_cast<uint16_t>(effect);
    }
    ++row_;
    return true;
  }

  bool finish() {
    if (m_.order.empty()) return problem("no order line");
    if (m_.slots == 15 && signature_set_) return problem("the 15-slot layout has no signature");
    int highest = 0;
    for (int p : m_.order) highest = std::max(highest, p);
    for (size_t p = highest + 1; p < m_.pattern_defined.size(); ++p)
      if (m_.pattern_defined[p]) return problem("pattern " + std::to_string(p) + " is not ordered");
    m_.patterns.resize(highest + 1);
    m_.pattern_defined.resize(highest + 1);
    for (int s = m_.slots + 1; s < 32; ++s)
      if (m_.instruments[s].defined) return problem("instrument beyond the sample slots");
    for (const Instrument &ins : m_.instruments) {
      if (!ins.defined) continue;
      if (!ins.data.empty() && !ins.partials.empty())
        return problem("instrument '" + ins.name + "' has both data and waves");
      const int length =
          (ins.data.empty() ? ins.length : static_cast<int>(ins.data.size()) + 1) & ~1;
      if (ins.data.empty() && length == 0 && !ins.partials.empty())
        return problem("instrument '" + ins.name + "' has waves but no length");
      if (ins.data.size() > kMaxSampleBytes) return problem("sample data longer than 131070 bytes");
      if (ins.loop_length > 0 &&
          (ins.loop_start % 2 || ins.loop_length % 2 || ins.loop_start + ins.loop_length > length))
        return problem("instrument '" + ins.name + "': loop must be even and inside the sample");
    }
    return true;
  }

  Module &m_;
  Block block_ = Block::kNone;
  Instrument *ins_ = nullptr;
  int pattern_ = 0;
  int row_ = 0;
  bool signature_set_ = false;
  std::string problem_;
};

void put_text(std::vector<uint8_t> &out, const std::string &s, size_t size) {
  for (size_t i = 0; i < size; ++i) out.push_back(i < s.size() ? static_cast<uint8_t>(s[i]) : 0);
}

void put_word(std::vector<uint8_t> &out, int v) {
  out.push_back(static_cast<uint8_t>(v >> 8));
  out.push_back(static_cast<uint8_t>(v));
}

}  // namespace

bool parse_module(const std::string &text, Module &module, std::string &error) {
  module = Module{};
  return Parser(module).run(text, error);
}

std::vector<uint8_t> build_module(const Module &m) {
  std::vector<std::vector<int8_t>> samples(m.slots + 1);
  std::vector<uint8_t> out;
  put_text(out, m.title, kTitleLength);
  for (int s = 1; s <= m.slots; ++s) {
    const Instrument &ins = m.instruments[s];
    if (ins.defined) samples[s] = render_sample(ins, s);
    put_text(out, ins.name, kSampleNameLength);
    put_word(out, static_cast<int>(samples[s].size() / 2));
    out.push_back(static_cast<uint8_t>(ins.finetune & 0x0F));
    out.push_back(static_cast<uint8_t>(ins.volume));
    const bool loops = ins.loop_length > 0;
    put_word(out, loops ? ins.loop_start / 2 : 0);
    put_word(out, loops ? ins.loop_length / 2 : 1);
  }
  out.push_back(static_cast<uint8_t>(m.order.size()));
  out.push_back(static_cast<uint8_t>(m.restart));
  for (int i = 0; i < kMaxPositions; ++i)
    out.push_back(static_cast<uint8_t>(i < static_cast<int>(m.order.size()) ? m.order[i] : 0));
  if (m.slots == 31) put_text(out, m.signature, 4);
  for (const Pattern &p : m.patterns) {
    for (const auto &row : p) {
      for (const Cell &c : row) {
        out.push_back(static_cast<uint8_t>((c.instrument & 0xF0) | (c.period >> 8)));
        out.push_back(static_cast<uint8_t>(c.period));
        out.push_back(static_cast<uint8_t>(((c.instrument & 0x0F) << 4) | (c.effect >> 8)));
        out.push_back(static_cast<uint8_t>(c.effect));
      }
    }
  }
  for (int s = 1; s <= m.slots; ++s)
    for (int8_t v : samples[s]) out.push_back(static_cast<uint8_t>(v));
  return out;
}

}  // namespace modgen
