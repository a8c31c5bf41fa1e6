// Query texts that stress nesting and fragment handling, one fragment definition per line.
#pragma once

#include <string>

namespace quenfel::testing {

// `open` `levels` times, `middle`, then `close` as many times.
inline std::string nested(const std::string& open, int levels, const std::string& middle, const std::string& close) {
  std::string text;
  for (int i = 0; i < levels; ++i) text += open;
  text += middle;
  for (int i = 0; i < levels; ++i) text += close;
  return text;
}

// `length` fragments F0.. on `type`, each spreading the next (followed by
// `directives`); the last selects `leaf`. The operation spreads F0.
inline std::string fragment_chain(int length, const std::string& leaf, const std::string& operation = "",
                                  const std::string& type = "T", const std::string& directives = "") {
  const std::string after = directives.empty() ? " }\n" : " " + directives + " }\n";
  std::string text = operation + "{ ...F0" + after;
  for (int i = 0; i + 1 < length; ++i) {
    text += "fragment F" + std::to_string(i) + " on " + type + " { ...F" + std::to_string(i + 1) + after;
  }
  return text + "fragment F" + std::to_string(length - 1) + " on " + type + " { " + leaf + " }\n";
}

// `levels` fragments on `type`, each spreading the next twice (once inside an
// inline fragment): the last, which selects `leaf`, is reached 2^levels times.
inline std::string doubling_fragments(int levels, const std::string& leaf, const std::string& operation = "",
                                      const std::string& type = "T") {
  std::string text = operation + "{ ...F0 }\n";
  for (int i = 0; i < levels; ++i) {
    const std::string next = "...F" + std::to_string(i + 1);
    text += "fragment F" + std::to_string(i) + " on " + type + " { " + next + " ... { " + next + " } }\n";
  }
  return text + "fragment F" + std::to_string(levels) + " on " + type + " { " + leaf + " }\n";
}

}  // namespace quenfel::testing
