// BusyState: the running background job as the busy overlay shows it. Not comparable: every
// assignment notifies. It shares the job's ProgressToken.
#pragma once

#include <memory>

#include <QString>

#include "base/Uuid.h"
#include "editor/ProgressToken.h"

struct BusyState {
  quar::Uuid id;  // fresh per job
  QString title;  // shown by the busy overlay; the job's undo action name
  std::shared_ptr<ProgressToken> token;
  double fraction = 0;  // [0, 1], as last copied from the token
};
