// File dialogs for tests: records every request in order and answers from a
// queue (Cancel when the queue is empty). Installs itself while it lives.
#pragma once
#include <deque>
#include <optional>
#include <vector>

#include "IFileDialogPresenter.h"

class TScriptedFileDialogPresenter : public IFileDialogPresenter {
public:
  TScriptedFileDialogPresenter() : previous(SetFileDialogPresenter(this)) {}
  ~TScriptedFileDialogPresenter() override { SetFileDialogPresenter(previous); }
  TScriptedFileDialogPresenter(const TScriptedFileDialogPresenter&) = delete;
  TScriptedFileDialogPresenter& operator=(const TScriptedFileDialogPresenter&) = delete;

  bool Present(const TFileDialogRequest& request, TStr& chosen) override {
    requests.push_back(request);
    if (answers.empty() || !answers.front()) {
      if (!answers.empty()) answers.pop_front();
      return false;
    }
    chosen = *answers.front();
    answers.pop_front();
    return true;
  }

  void AnswerPath(const TStr& path) { answers.emplace_back(path); }
  void AnswerCancel() { answers.emplace_back(std::nullopt); }

  std::vector<TFileDialogRequest> requests;
  std::deque<std::optional<TStr>> answers;

private:
  IFileDialogPresenter* previous;
};
