// doc-numbers: the numbers the docs quote from a run or a build, checked against (or rewritten
// from) what the current build gives. A quoted value carries a mark naming where it comes from:
//
//   3712<!--=image BoardInfoDxe.efi size-->                 the size of a built image
//   0x10E00080<!--=boards/default.toml final.s3_table.address hex-->
//                                                            a value of a board's final line
//                                                            (formats: dec, hex, hex8)
//   1094713360<!--=boards/default.toml alloc@BoardInfoPei#1.addr-->
//                                                            a field of an event of its trace
//   801<!--=sweep tests/sweep/default.sweep.json runs-->     a count of a pinned sweep
//
// The value is the word right before the mark (or the `code span` right before it). A mark alone
// on a line, followed by a fenced block, names the whole block:
//
//   <!--=boards/default.toml lines ppi_install@platform alloc@BoardInfoPei#1 ...-->
//   <!--=boards/default.toml final-->
//
// give the trace lines of those events, and the final line spread out one member per line.
// Events are chosen by `ev@image`, `[field=value]` filters and `:N` (the N-th match, 1-based) or
// `:last`. Board runs go through the boardsim tool, as a user runs it.
//
//   doc-numbers --check|--write --boardsim PROGRAM --images DIR --root DIR FILE.md...
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

constexpr std::string_view kMarkOpen = "<!--=", kMarkClose = "-->";
constexpr std::string_view kFence = "```";
constexpr std::string_view kRefresh = "scripts/refresh-docs.sh";
// Arrays of objects longer than this are spread one entry per line in a spread final line.
constexpr size_t kInlineObjects = 3;

struct Options {
  bool write = false;
  std::string boardsim, images, root;
  std::vector<std::string> files;
};

std::vector<std::string> Words(const std::string &text) {
  std::istringstream in(text);
  std::vector<std::string> words;
  for (std::string word; in >> word;)
    words.push_back(word);
  return words;
}

// "hex": 0x1F; "hex8": 0x0000001F, as a 32-bit code is written.
std::string Hex(uint64_t value, bool eightDigits) {
  char text[24];
  std::snprintf(text, sizeof text, eightDigits ? "0x%08llX" : "0x%llX",
                static_cast<unsigned long long>(value));
  return text;
}

// A board's run, as the boardsim tool writes it with --trace.
struct Run {
  std::vector<std::string> lines; // raw trace lines
  std::vector<Json> events;
};

class Sources {
public:
  explicit Sources(const Options &options) : options_(options) {}

  // The value a query names, or an error text starting with "!".
  std::string Evaluate(const std::string &query, bool block) {
    const std::vector<std::string> words = Words(query);
    if (words.size() < 2)
      return "!a mark names a source and what to take from it";
    if (words[0] == "image")
      return ImageSize(words);
    if (words[0] == "sweep")
      return SweepCount(words);
    const Run *run = RunOf(words[0]);
    if (!run)
      return "!boardsim could not run " + words[0];
    if (block && words[1] == "lines")
      return Lines(*run, {words.begin() + 2, words.end()});
    if (block && words[1] == "final")
      return Spread(run->events.back());
    std::optional<Json> value = Select(*run, words[1]);
    if (!value)
      return "!" + words[0] + " has no " + words[1];
    const std::string format = words.size() > 2 ? words[2] : "dec";
    if (value->is_number_unsigned())
      return format == "dec" ? std::to_string(value->get<uint64_t>())
                             : Hex(value->get<uint64_t>(), format == "hex8");
    return value->is_string() ? value->get<std::string>() : value->dump();
  }

private:
  std::string ImageSize(const std::vector<std::string> &words) {
    std::error_code error;
    const uintmax_t size = fs::file_size(fs::path(options_.images) / words[1], error);
    return error ? "!no image " + words[1] + " in " + options_.images : std::to_string(size);
  }

  std::string SweepCount(const std::vector<std::string> &words) {
    std::ifstream file(fs::path(options_.root) / words[1]);
    Json sweep = Json::parse(file, nullptr, false);
    if (!sweep.is_object() || words.size() < 3)
      return "!" + words[1] + " is not a sweep classification";
    size_t runs = 0, matching = 0;
    for (const Json &site : sweep["sites"])
      for (const auto &[status, result] : site["results"].items()) {
        ++runs;
        matching += result.get<std::string>().rfind(words[2], 0) == 0;
      }
    if (words[2] == "runs")
      return std::to_string(runs);
    if (words[2] == "sites")
      return std::to_string(sweep["sites"].size());
    return std::to_string(matching); // results of one kind: "same", "halted", ...
  }

  const Run *RunOf(const std::string &board) {
    if (auto found = runs_.find(board); found != runs_.end())
      return found->second ? &*found->second : nullptr;
    std::optional<Run> &run = runs_[board];
    const fs::path trace = fs::temp_directory_path() / ("doc-numbers-" + std::to_string(getpid()) +
                                                        "-" + std::to_string(runs_.size()));
    const std::string command = "'" + options_.boardsim + "' run '" +
                                (fs::path(options_.root) / board).string() + "' --quiet --trace '" +
                                trace.string() + "' >/dev/null 2>&1";
    std::system(command.c_str()); // the exit status says how the board ended, not whether it ran
    std::ifstream file(trace);
    Run read;
    for (std::string line; std::getline(file, line);) {
      read.events.push_back(Json::parse(line, nullptr, false));
      read.lines.push_back(line);
    }
    fs::remove(trace);
    if (!read.events.empty() && read.events.back().value("ev", "") == "final")
      run = std::move(read);
    return run ? &*run : nullptr;
  }

  // "ev@image[field=value]:N" (all parts but ev optional) -> the index of that event.
  static std::optional<size_t> Find(const Run &run, std::string selector) {
    size_t nth = 1;
    bool last = false;
    if (size_t colon = selector.rfind(':'); colon != std::string::npos) {
      const std::string which = selector.substr(colon + 1);
      last = which == "last";
      nth = last ? 0 : std::strtoul(which.c_str(), nullptr, 10);
      selector.resize(colon);
    }
    std::vector<std::pair<std::string, std::string>> filters;
    while (!selector.empty() && selector.back() == ']') {
      const size_t open = selector.rfind('[');
      const std::string filter = selector.substr(open + 1, selector.size() - open - 2);
      const size_t equals = filter.find('=');
      filters.emplace_back(filter.substr(0, equals), filter.substr(equals + 1));
      selector.resize(open);
    }
    const size_t at = selector.find('@');
    const std::string ev = selector.substr(0, at);
    const std::string image = at == std::string::npos ? "" : selector.substr(at + 1);
    std::optional<size_t> found;
    size_t seen = 0;
    for (size_t i = 0; i < run.events.size(); ++i) {
      const Json &e = run.events[i];
      if (e.value("ev", "") != ev || (!image.empty() && e.value("image", "") != image))
        continue;
      bool matches = true;
      for (const auto &[field, value] : filters) {
        const Json &have = e.contains(field) ? e[field] : Json();
        matches &= (have.is_string() ? have.get<std::string>() : have.dump()) == value;
      }
      if (!matches)
        continue;
      found = i;
      if (!last && ++seen == nth)
        return found;
    }
    return last ? found : std::nullopt;
  }

  // "final.pcd.552" or "selector.field.field"
  static std::optional<Json> Select(const Run &run, const std::string &path) {
    std::vector<std::string> parts;
    // The selector itself may hold dots only inside [filters].
    size_t depth = 0, start = 0;
    for (size_t i = 0; i <= path.size(); ++i) {
      if (i < path.size() && path[i] == '[')
        ++depth;
      else if (i < path.size() && path[i] == ']')
        --depth;
      else if (i == path.size() || (path[i] == '.' && depth == 0)) {
        parts.push_back(path.substr(start, i - start));
        start = i + 1;
      }
    }
    Json value;
    if (parts[0] == "final") {
      value = run.events.back();
    } else {
      std::optional<size_t> index = Find(run, parts[0]);
      if (!index)
        return std::nullopt;
      value = run.events[*index];
    }
    for (size_t i = 1; i < parts.size(); ++i) {
      if (value.is_object() && value.contains(parts[i]))
        value = Json(value[parts[i]]);
      else if (value.is_array() && std::strtoul(parts[i].c_str(), nullptr, 10) < value.size())
        value = Json(value[std::strtoul(parts[i].c_str(), nullptr, 10)]);
      else
        return std::nullopt;
    }
    return value;
  }

  static std::string Lines(const Run &run, const std::vector<std::string> &selectors) {
    std::string text;
    for (const std::string &selector : selectors) {
      std::optional<size_t> index = Find(run, selector);
      if (!index)
        return "!the trace has no event " + selector;
      text += run.lines[*index] + "\n";
    }
    return text;
  }

  // JSON with a space after each ':' and ','.
  static std::string Inline(const Json &value) {
    if (value.is_object()) {
      std::string text;
      for (const auto &[key, item] : value.items())
        text += (text.empty() ? "" : ", ") + Json(key).dump() + ": " + Inline(item);
      return "{" + text + "}";
    }
    if (value.is_array()) {
      std::string text;
      for (const Json &item : value)
        text += (text.empty() ? "" : ", ") + Inline(item);
      return "[" + text + "]";
    }
    return value.dump();
  }

  // The final line for reading: one member per line, long lists of objects one entry per line.
  static std::string Spread(const Json &final) {
    std::string text = "{\n";
    size_t left = final.size();
    for (const auto &[key, value] : final.items()) {
      text += "  " + Json(key).dump() + ": ";
      if (value.is_array() && value.size() > kInlineObjects && value[0].is_object()) {
        text += "[\n";
        for (size_t i = 0; i < value.size(); ++i)
          text += "    " + Inline(value[i]) + (i + 1 < value.size() ? ",\n" : "\n");
        text += "  ]";
      } else {
        text += Inline(value);
      }
      text += --left ? ",\n" : "\n";
    }
    return text + "}\n";
  }

  const Options &options_;
  std::map<std::string, std::optional<Run>> runs_;
};

struct Mark {
  size_t line;
  std::string query;
  size_t valueBegin, valueEnd; // offsets into the text
  bool block;
};

// Every mark of a document with the extent of the value it names.
std::vector<Mark> FindMarks(const std::string &text) {
  std::vector<Mark> marks;
  for (size_t at = text.find(kMarkOpen); at != std::string::npos;
       at = text.find(kMarkOpen, at + 1)) {
    const size_t close = text.find(kMarkClose, at);
    if (close == std::string::npos)
      break;
    Mark mark{size_t(std::count(text.begin(), text.begin() + long(at), '\n')) + 1,
              text.substr(at + kMarkOpen.size(), close - at - kMarkOpen.size()), 0, 0, false};
    const size_t lineBegin = text.rfind('\n', at) + 1; // npos + 1 == 0
    const size_t lineEnd = text.find('\n', close);
    const bool alone = at == lineBegin && lineEnd == close + kMarkClose.size();
    if (alone && text.compare(lineEnd + 1, kFence.size(), kFence) == 0) {
      mark.block = true;
      mark.valueBegin = text.find('\n', lineEnd + 1) + 1;
      mark.valueEnd = text.find(std::string("\n") + std::string(kFence), mark.valueBegin - 1) + 1;
    } else if (at > 0 && text[at - 1] == '`') {
      mark.valueEnd = at - 1;
      mark.valueBegin = text.rfind('`', at - 2) + 1;
    } else {
      mark.valueEnd = at;
      mark.valueBegin = at;
      while (mark.valueBegin > 0 &&
             std::string_view(" \t\n|(,;[").find(text[mark.valueBegin - 1]) == std::string::npos)
        --mark.valueBegin;
    }
    marks.push_back(mark);
  }
  return marks;
}

bool ParseOptions(int argc, char **argv, Options &options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto next = [&](std::string &into) { return i + 1 < argc && (into = argv[++i], true); };
    if (arg == "--check" || arg == "--write")
      options.write = arg == "--write";
    else if (arg == "--boardsim" ? !next(options.boardsim)
             : arg == "--images" ? !next(options.images)
             : arg == "--root"   ? !next(options.root)
                                 : (options.files.push_back(arg), false))
      return false;
  }
  return !options.boardsim.empty() && !options.images.empty() && !options.root.empty() &&
         !options.files.empty();
}

} // namespace

int main(int argc, char **argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::cerr << "usage: doc-numbers --check|--write --boardsim PROGRAM --images DIR --root DIR "
                 "FILE.md...\n";
    return 4;
  }
  Sources sources(options);
  size_t marks = 0, stale = 0, broken = 0;
  for (const std::string &name : options.files) {
    const fs::path path = fs::path(options.root) / name;
    std::ifstream in(path);
    std::stringstream read;
    read << in.rdbuf();
    std::string text = read.str();
    std::vector<Mark> found = FindMarks(text);
    marks += found.size();
    std::vector<std::string> messages; // in the order of the marks
    // From the end, so that rewriting a value leaves the offsets of earlier marks alone.
    for (auto mark = found.rbegin(); mark != found.rend(); ++mark) {
      std::ostringstream message;
      const std::string want = sources.Evaluate(mark->query, mark->block);
      const std::string have = text.substr(mark->valueBegin, mark->valueEnd - mark->valueBegin);
      const std::string where = name + ":" + std::to_string(mark->line) + ": ";
      if (want.rfind('!', 0) == 0) {
        std::cout << where << "the mark <!--=" << mark->query
                  << "--> names nothing: " << want.substr(1) << "\n";
        ++broken;
      } else if (want != have) {
        ++stale;
        if (options.write)
          text.replace(mark->valueBegin, mark->valueEnd - mark->valueBegin, want);
        else if (mark->block)
          message << where << "the block after <!--=" << mark->query
                  << "--> is not what the build gives; it gives:\n"
                  << want;
        else
          message << where << "quotes " << have << " where the build gives " << want
                  << " (<!--=" << mark->query << "-->)\n";
      }
      messages.insert(messages.begin(), message.str());
    }
    for (const std::string &message : messages)
      std::cout << message;
    if (options.write && stale)
      std::ofstream(path) << text;
  }
  if (options.write)
    std::cout << stale << " of " << marks << " quoted values rewritten\n";
  else if (stale)
    std::cout << stale << " of " << marks << " quoted values are stale: run " << kRefresh
              << " and review the diff\n";
  else
    std::cout << "all " << marks << " quoted values agree with the build\n";
  return broken || (stale && !options.write) ? 1 : 0;
}
