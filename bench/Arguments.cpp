#include "Arguments.h"

#include <cmath>
#include <cstdlib>

namespace quar::bench {

Arguments::Arguments(const std::vector<std::string>& words, const std::set<std::string>& options) {
  for (size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (word.size() < 3 || word.rfind("--", 0) != 0) {
      positional_.push_back(word);
      continue;
    }
    const std::string name = word.substr(2);
    if (!options.contains(name)) throw UsageError("unknown option " + word);
    if (i + 1 == words.size()) throw UsageError("option " + word + " needs a value");
    options_[name] = words[++i];
  }
}

void Arguments::expectPositional(size_t count, const std::string& names) const {
  if (positional_.size() != count) throw UsageError("expected " + names);
}

std::optional<std::string> Arguments::text(const std::string& option) const {
  const auto found = options_.find(option);
  if (found == options_.end()) return std::nullopt;
  return found->second;
}

std::string Arguments::requiredText(const std::string& option) const {
  if (auto value = text(option)) return *value;
  throw UsageError("missing option --" + option);
}

std::optional<double> Arguments::number(const std::string& option) const {
  const auto value = text(option);
  if (!value) return std::nullopt;
  char* end = nullptr;
  const double number = std::strtod(value->c_str(), &end);
  if (value->empty() || *end != '\0' || !std::isfinite(number))
    throw UsageError("--" + option + " needs a number, not “" + *value + "”");
  return number;
}

double Arguments::requiredNumber(const std::string& option) const {
  if (auto value = number(option)) return *value;
  throw UsageError("missing option --" + option);
}

} // namespace quar::bench
