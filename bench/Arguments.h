// The command line of one quar-bench command: positional arguments and "--name value" options,
// checked against the options the command takes. Errors throw UsageError.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace quar::bench {

class UsageError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

class Arguments {
public:
  // `words` are the words after the command name; every option takes a value.
  Arguments(const std::vector<std::string>& words, const std::set<std::string>& options);

  // Exactly `count` positional arguments, named in `names` for the message.
  void expectPositional(size_t count, const std::string& names) const;
  const std::string& positional(size_t index) const { return positional_.at(index); }

  std::optional<std::string> text(const std::string& option) const;
  std::string requiredText(const std::string& option) const;
  // A finite number.
  std::optional<double> number(const std::string& option) const;
  double requiredNumber(const std::string& option) const;

private:
  std::vector<std::string> positional_;
  std::map<std::string, std::string> options_;
};

} // namespace quar::bench
