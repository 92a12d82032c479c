// MicrophoneAccess: whether the application may record from a microphone, and the request for
// that permission. This desktop always grants it; the recorder takes the provider as a value so
// that tests can refuse or defer the answer. GUI thread.
#pragma once

#include <functional>

struct MicrophoneAccess {
  enum class Status { authorized, notDetermined, denied, restricted };
  // Delivers the user's answer: true when recording is allowed. May be called later.
  using Answer = std::function<void(bool granted)>;

  std::function<Status()> status;
  // Asks the user; only when the status is notDetermined.
  std::function<void(Answer)> request;

  // The provider of this desktop: always authorised.
  static MicrophoneAccess alwaysGranted();
};
