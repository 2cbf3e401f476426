// File dialogs for a program without a window: each dialog takes the next path
// given on the command line and answers Cancel when none is left, so that the
// program never picks a file on its own. What was asked goes to standard error.
#pragma once
#include <deque>

#include "IFileDialogPresenter.h"

class TConsoleFileDialogPresenter : public IFileDialogPresenter {
public:
  TConsoleFileDialogPresenter() = default;
  explicit TConsoleFileDialogPresenter(std::deque<TStr> paths) : paths(std::move(paths)) {}

  void AddPath(const TStr& path) { paths.push_back(path); }
  bool Present(const TFileDialogRequest& request, TStr& chosen) override;

private:
  std::deque<TStr> paths;
};
