#include "Expect/Expectations.h"

#include "Expect/BoardValueText.h"
#include "Expect/FramedText.h"

#include <algorithm>
#include <cstdio>

namespace boardsim {
namespace {

constexpr size_t kFirstListOffset = 3; // buffer 1: three bytes, then NIC 1's list
constexpr size_t kMacSize = 6;

std::string HexNumber(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
  return text;
}

// True when every field of `want` has the same value in `have`.
bool Matches(const Json &want, const Json &have) {
  if (!have.is_object())
    return false;
  for (const auto &[key, value] : want.items())
    if (!have.contains(key) || have[key] != value)
      return false;
  return true;
}

size_t MatchingFields(const Json &want, const Json &have) {
  size_t count = 0;
  for (const auto &[key, value] : want.items())
    count += have.contains(key) && have[key] == value;
  return count;
}

// The MAC list of `count` entries at `offset` of a hex buffer; a list that runs past the
// buffer's end stops there.
void AppendMacs(const Json &buffer, size_t offset, Json &macs) {
  if (!buffer.is_string())
    return;
  const std::string &hex = buffer.get_ref<const std::string &>();
  const size_t size = hex.size() / 2;
  if (size <= offset)
    return;
  const size_t count = std::stoul(hex.substr(2 * offset, 2), nullptr, 16);
  for (size_t k = 0; k < count; ++k) {
    const size_t at = offset + 1 + kMacSize * k;
    if (at + kMacSize > size)
      return;
    macs.push_back(hex.substr(2 * at, 2 * kMacSize));
  }
}

struct Checker {
  const Board &board;
  const Json &final;
  const std::vector<Json> &events;
  size_t orderedFrom = 0; // events before this index are behind the last in_order match

  ExpectResult Check(const Expectation &e) {
    ExpectResult r{e.line, Describe(e), false, BoardValueText(e.expected, FieldName(e.kind)),
                   {},     {}};
    switch (e.kind) {
    case ExpectKind::PostCodes:
      return Run(r, e.expected, final.value("port80", Json::array()));
    case ExpectKind::Outcome:
    case ExpectKind::ErrorStops:
    case ExpectKind::S3Record:
    case ExpectKind::S3Table:
      return Equal(r, e.expected, Field(e.kind), FieldName(e.kind));
    case ExpectKind::Pcd:
      return Pcd(r, e.expected);
    case ExpectKind::Macs:
      return Macs(r, e);
    case ExpectKind::Uart: {
      const Json text = final["uart_text"].value(std::to_string(e.base), Json());
      return Contains(r, e.expected, text.is_string() ? text.get<std::string>() : "");
    }
    case ExpectKind::FramedText: {
      const std::vector<uint8_t> bytes = FramedText(events, board.s3savesmm.FramedPortAddress);
      return Contains(r, e.expected, std::string(bytes.begin(), bytes.end()));
    }
    case ExpectKind::HostRegister:
      return Member(r, e.expected, final["host_registers"], {"instance", "index"});
    case ExpectKind::Image:
      return Member(r, e.expected, final["images"], {"image"});
    case ExpectKind::Smbus:
    case ExpectKind::Ipmi:
    case ExpectKind::Event:
      return Events(r, e);
    }
    return r;
  }

  static std::string Describe(const Expectation &e) {
    const std::string key = e.key.substr(e.key.rfind('.') + 1);
    if (e.kind == ExpectKind::Macs)
      return key + " (call " + std::to_string(e.call) + ")";
    if (e.kind == ExpectKind::Uart)
      return key + " " + HexNumber(e.base);
    if (e.kind == ExpectKind::Event)
      return key + " " + e.expected.value("ev", "");
    return key;
  }

  // The final line's key a kind compares with, which is also how its values are written.
  static const char *FieldName(ExpectKind kind) {
    static const std::pair<ExpectKind, const char *> kFields[] = {
        {ExpectKind::Outcome, "outcome"},  {ExpectKind::ErrorStops, "error_stops"},
        {ExpectKind::PostCodes, "port80"}, {ExpectKind::S3Record, "s3_record"},
        {ExpectKind::S3Table, "s3_table"}, {ExpectKind::Macs, "macs"}};
    for (auto [k, name] : kFields)
      if (k == kind)
        return name;
    return "";
  }

  Json Field(ExpectKind kind) const { return final.value(FieldName(kind), Json()); }

  static ExpectResult Equal(ExpectResult r, const Json &want, const Json &have,
                            std::string_view field) {
    r.passed = want.is_object() ? Matches(want, have) : want == have;
    r.actual = BoardValueText(have, field);
    return r;
  }

  // `want` appears in `have` as a run of consecutive values.
  static ExpectResult Run(ExpectResult r, const Json &want, const Json &have) {
    const auto &values = have.get_ref<const Json::array_t &>();
    const auto &run = want.get_ref<const Json::array_t &>();
    r.passed = std::search(values.begin(), values.end(), run.begin(), run.end()) != values.end();
    r.expected = "a run of " + r.expected;
    r.actual = BoardValueText(have, "port80");
    return r;
  }

  // Tokens by name; a failure shows only the tokens that differ.
  ExpectResult Pcd(ExpectResult r, const Json &want) const {
    const Json pcd = final.value("pcd", Json::object());
    Json named = Json::object(), wrong = Json::object(), got = Json::object();
    for (const auto &[token, value] : want.items()) {
      const Json have = pcd.value(token, Json(0)); // tokens never set read 0
      named[PcdKeyText(token)] = value;
      if (have != value) {
        wrong[PcdKeyText(token)] = value;
        got[PcdKeyText(token)] = have;
      }
    }
    r.passed = wrong.empty();
    r.expected = PcdText(r.passed ? named : wrong);
    r.actual = PcdText(r.passed ? named : got);
    return r;
  }

  // PCD values are written in hex, whatever the token.
  static std::string PcdText(const Json &values) {
    std::string text = "{ ";
    for (const auto &[name, value] : values.items())
      text += (text.size() > 2 ? ", " : "") + name + " = " + BoardValueText(value, "value");
    return text + " }";
  }

  ExpectResult Macs(ExpectResult r, const Expectation &e) const {
    uint32_t seen = 0;
    for (const Json &event : events) {
      if (event.value("ev", "") != "return" || event.value("target", "") != "GetNicMacAddresses")
        continue;
      if (++seen != e.call)
        continue;
      r.events.push_back(event.value("seq", uint64_t{0}));
      Json macs = Json::array();
      AppendMacs(event["buffer1"], kFirstListOffset, macs);
      AppendMacs(event["buffer2"], 0, macs);
      return Equal(r, e.expected, macs, "macs");
    }
    r.actual = "the run made " + std::to_string(seen) + " GetNicMacAddresses call" +
               (seen == 1 ? "" : "s") + " that returned";
    return r;
  }

  static ExpectResult Contains(ExpectResult r, const Json &want, const std::string &have) {
    r.passed = have.find(want.get<std::string>()) != std::string::npos;
    r.expected = "text containing " + want.dump();
    r.actual = Json(have).dump();
    return r;
  }

  // An entry of `list` with the same `keys` as `want` must match all of `want`'s fields.
  static ExpectResult Member(ExpectResult r, const Json &want, const Json &list,
                             std::vector<const char *> keys) {
    Json key = Json::object();
    for (const char *k : keys)
      if (want.contains(k))
        key[k] = want[k];
    r.actual = "none";
    if (list.is_array())
      for (const Json &entry : list)
        if (Matches(key, entry)) {
          r.passed = Matches(want, entry);
          r.actual = BoardValueText(entry);
          break;
        }
    return r;
  }

  ExpectResult Events(ExpectResult r, const Expectation &e) {
    const size_t from = e.in_order ? orderedFrom : 0;
    size_t count = 0, firstMatch = 0;
    const Json *closest = nullptr;
    size_t closestFields = 0, sameKind = 0;
    for (size_t i = from; i < events.size(); ++i) {
      const Json &event = events[i];
      if (Matches(e.expected, event)) {
        if (count++ == 0)
          firstMatch = i;
        if (r.events.size() < kMaxEvidence)
          r.events.push_back(event.value("seq", uint64_t{0}));
      } else if (event.value("ev", "") == e.expected.value("ev", "")) {
        ++sameKind;
        if (size_t fields = MatchingFields(e.expected, event); !closest || fields > closestFields)
          closest = &event, closestFields = fields;
      }
    }
    r.passed = e.count ? count == *e.count : count > 0;
    if (e.count)
      r.expected = std::to_string(*e.count) + " of " + r.expected;
    if (e.in_order)
      r.expected += from ? " after event " + std::to_string(events[from - 1].value("seq", 0)) : "";
    r.actual = std::to_string(count) + " matching";
    if (count == 0 && closest) {
      r.actual += "; closest of " + std::to_string(sameKind) + ": " + BoardValueText(*closest);
      r.events.push_back(closest->value("seq", uint64_t{0}));
    }
    if (e.in_order && count > 0)
      orderedFrom = firstMatch + 1;
    return r;
  }
};

} // namespace

std::vector<ExpectResult> CheckExpectations(const Board &board, const Json &final,
                                            const std::vector<Json> &events) {
  std::vector<ExpectResult> results;
  if (board.expects.empty())
    return results;
  Checker checker{board, final, events};
  const bool outcomeGiven =
      std::any_of(board.expects.begin(), board.expects.end(),
                  [](const Expectation &e) { return e.kind == ExpectKind::Outcome; });
  if (!outcomeGiven) {
    Expectation implied;
    implied.key = "outcome";
    implied.expected = "completed";
    results.push_back(checker.Check(implied));
    results.back().what = "outcome (implied)";
  }
  for (const Expectation &expect : board.expects)
    results.push_back(checker.Check(expect));
  return results;
}

bool AllPassed(const std::vector<ExpectResult> &results) {
  return std::all_of(results.begin(), results.end(),
                     [](const ExpectResult &r) { return r.passed; });
}

std::string RenderExpectations(const std::string &file, const std::vector<ExpectResult> &results) {
  std::string text;
  size_t failed = 0;
  for (const ExpectResult &r : results) {
    if (r.passed)
      continue;
    ++failed;
    text += file + (r.line ? ":" + std::to_string(r.line) : "") + ": expectation " + r.what +
            " failed\n    expected: " + r.expected + "\n    got:      " + r.actual + "\n";
  }
  const std::string count = std::to_string(results.size());
  text += failed ? std::to_string(failed) + " of " + count + " expectations failed\n"
                 : "all " + count + " expectations hold\n";
  return text;
}

} // namespace boardsim
