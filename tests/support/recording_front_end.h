// A FrontEnd for tests: records every message, status line, question and pump, and answers from a script.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "extract/front_end.h"

namespace zor::test {

struct ShownMessage {
  WindowRef owner;
  std::string text;
  std::string caption;
  Notice kind;
};

class RecordingFrontEnd final : public FrontEnd {
 public:
  // Answers are taken from the front of the queues; when a queue is empty the default answer is given.
  std::deque<NoticeAnswer> messageAnswers;
  NoticeAnswer defaultMessageAnswer = NoticeAnswer::kOk;
  std::deque<OverwriteAnswer> overwriteAnswers;
  OverwriteAnswer defaultOverwriteAnswer = OverwriteAnswer::kYes;
  // Runs inside each pump, e.g. to press Cancel in the middle of a walk.
  std::function<void()> onPump;

  std::vector<ShownMessage> messages;
  std::vector<std::string> statuses;
  std::vector<std::string> overwriteQuestions;
  int pumpCount = 0;
  // The progress hooks: stored paths as started, and as finished with their outcomes.
  std::vector<std::string> started;
  std::vector<std::pair<std::string, EntryOutcome>> finished;

  NoticeAnswer ShowMessage(WindowRef owner, const char* text, const char* caption, Notice kind) override {
    messages.push_back({owner, text, caption, kind});
    return Next(messageAnswers, defaultMessageAnswer);
  }
  void SetStatus(WindowRef, const char* text) override { statuses.emplace_back(text); }
  OverwriteAnswer AskOverwrite(const char* fullPath) override {
    overwriteQuestions.emplace_back(fullPath);
    return Next(overwriteAnswers, defaultOverwriteAnswer);
  }
  void PumpMessages() override {
    ++pumpCount;
    if (onPump) onPump();
  }
  void EntryStarted(const DirectoryEntry&, const char* storedPath, uint32_t length) override {
    started.emplace_back(storedPath, length);
  }
  void EntryFinished(const DirectoryEntry&, const char* storedPath, uint32_t length,
                     EntryOutcome outcome) override {
    finished.emplace_back(std::string(storedPath, length), outcome);
  }

 private:
  template <typename Answer>
  static Answer Next(std::deque<Answer>& answers, Answer fallback) {
    if (answers.empty()) return fallback;
    const Answer answer = answers.front();
    answers.pop_front();
    return answer;
  }
};

}  // namespace zor::test
