// isCaseTable: the compile-time check of a table that holds one record per case of an enum
// (see base/Enums.h), so that records[caseIndex(value)] is the record of `value`.
#pragma once

#include <cstddef>

#include "base/Enums.h"

namespace quar {

// Whether `records` holds exactly one record per case, in allCases order, each naming its case
// in `key`.
template <typename E, typename Record, size_t count>
constexpr bool isCaseTable(const Record (&records)[count], E Record::*key) {
  const auto& cases = allCases<E>();
  if (count != cases.size()) return false;
  for (size_t i = 0; i < count; ++i)
    if (records[i].*key != cases[i]) return false;
  return true;
}

} // namespace quar
