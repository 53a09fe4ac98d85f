#pragma once

#include <string>
#include <utility>
#include <vector>

#include "client/ClientLinks.h"
#include "client/ClientSession.h"

// Records what the session asks of its windows; with a session, stopping the audio clears its
// audio flag, as the panel's audio path does.
struct Recorder : IPanelView, IStatusView, INoticeView {
  struct Text : ITextView {
    std::vector<std::string> lines;
    void AddText(const std::string& text) override { lines.push_back(text); }
  };

  void PanelChanged(TPanelChange change) override {
    panel.push_back(change);
    if (session && (change == TPanelChange::StopAudio || change == TPanelChange::PowerOff))
      session->SetAudioOn(false);
  }
  void ShowStatus(TServerWord word, const std::string& value) override {
    status.emplace_back(word, value);
  }
  void ShowNotice(const std::string& text, const std::string& caption) override {
    notices.push_back(caption + ": " + text);
  }
  TClientViews Views() { return {this, this, &chat, &rx, this}; }
  bool Saw(TPanelChange change) const {
    for (TPanelChange c : panel)
      if (c == change) return true;
    return false;
  }

  TClientSession* session = nullptr;
  std::vector<TPanelChange> panel;
  std::vector<std::pair<TServerWord, std::string>> status;
  std::vector<std::string> notices;
  Text chat, rx;
};
