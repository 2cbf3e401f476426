// Message boxes for tests: records every message in order, answers from a queue
// (OK when the queue is empty).
#pragma once
#include <deque>
#include <vector>

#include "Messages.h"

class TScriptedPresenter : public IMessagePresenter {
public:
  struct TShown {
    TStr text;
    TStr caption;
    uint32_t flags;
  };

  TScriptedPresenter() : previous(SetMessagePresenter(this)) {}
  ~TScriptedPresenter() override { SetMessagePresenter(previous); }

  EAnswer Present(const TStr& text, const TStr& caption, uint32_t flags) override {
    shown.push_back({text, caption, flags});
    if (answers.empty()) return EAnswer::Ok;
    const EAnswer answer = answers.front();
    answers.pop_front();
    return answer;
  }

  void Answer(EAnswer answer) { answers.push_back(answer); }
  std::vector<TStr> Texts() const {
    std::vector<TStr> texts;
    for (const TShown& s : shown) texts.push_back(s.text);
    return texts;
  }

  std::vector<TShown> shown;
  std::deque<EAnswer> answers;

private:
  IMessagePresenter* previous;
};
