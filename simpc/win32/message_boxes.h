// user32's message boxes on the simulated PC: each box is recorded (text,
// caption, style) and answered from the test's script, as a user would
// click.  A box the script did not expect, or an answer that is not a
// button of its box, is a verifier finding.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace simpc {

struct MessageBoxRecord {
    std::string text;
    std::string caption;
    uint32_t style = 0;
    int answer = 0; // what MessageBoxA returned
};

class MessageBoxes {
  public:
    // The answers (IDYES, IDNO, IDOK, ...) of the next boxes, in order.
    void Script(std::vector<int> answers);
    // Answers of the script that no box has taken yet.
    size_t UnusedAnswers() const { return answers_.size() - next_answer_; }
    const std::vector<MessageBoxRecord>& Shown() const { return shown_; }

    // MessageBoxA: records the box and returns its scripted answer, or 0
    // (no box could be shown) when the script has none.
    int Show(const char* text, const char* caption, uint32_t style);

  private:
    std::vector<int> answers_;
    size_t next_answer_ = 0;
    std::vector<MessageBoxRecord> shown_;
};

} // namespace simpc
