#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "relay/K2Relay.h"

// Records every text written to the radio; refuses writes while `refuse` is set.
struct FakeRadio : IRadioPort {
  std::vector<std::string> writes;
  bool refuse = false;
  bool WriteText(const std::string& text) override {
    if (refuse) return false;
    writes.push_back(text);
    return true;
  }
  std::string Take() {
    std::string all;
    for (const auto& w : writes) all += w;
    EXPECT_LE(writes.size(), 1u) << "more than one write for one action";
    writes.clear();
    return all;
  }
};

// Records every text sent to the client.
struct FakeClient : IClientLink {
  std::vector<std::string> sent;
  void SendText(const std::string& text) override { sent.push_back(text); }
  // The lines sent since the last call, each checked for its CR LF and returned without it.
  std::vector<std::string> Lines() {
    std::vector<std::string> lines;
    for (const auto& s : sent) {
      EXPECT_GE(s.size(), 2u);
      EXPECT_EQ(s.substr(s.size() - 2), "\r\n") << s;
      EXPECT_EQ(s.find_first_of("\r\n"), s.size() - 2) << "one line per SendText: " << s;
      lines.push_back(s.substr(0, s.size() - 2));
    }
    sent.clear();
    return lines;
  }
};

using Lines = std::vector<std::string>;
