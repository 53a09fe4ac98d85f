// The serial port talking to the simulated K2 on a pseudo-terminal, configured as the server
// configures it for the radio.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "SerialTestSupport.h"
#include "tests/support/K2Port.h"
#include "tests/support/k2sim/K2Simulator.h"

namespace {

// Reports other than the notes that a pseudo-terminal has no modem lines or counters, and the
// progress messages of opening and closing.
std::vector<std::uint32_t> Failures(const PortRecorder& rec) {
  std::vector<std::uint32_t> out;
  for (const auto& r : rec.reports)
    if (r.place != 100 && r.place != 110 && r.place != 601 && r.place != 602 && r.place != 9905 &&
        r.place != 9907)
      out.push_back(r.place);
  return out;
}

std::size_t Replies(const std::string& text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), ';'));
}

// Writes the commands and waits until `replies` answers have come; what came.
std::string Ask(TSerialPort& port, PortRecorder& rec, const std::string& commands,
                std::size_t replies) {
  rec.received.clear();
  EXPECT_TRUE(port.WriteText(commands));
  EXPECT_TRUE(PumpUntil([&] { return Replies(rec.received) >= replies; }, 20000));
  return rec.received;
}

}  // namespace

TEST(SerialPortK2Sim, TalksToTheRadio) {
  k2sim::K2Simulator sim;
  sim.Start();
  TSerialPort port;
  PortRecorder rec;
  rec.Attach(port);
  ConfigureForK2(port, sim.SlavePath());
  port.SetActive(true);
  ASSERT_TRUE(port.Active());
  port.SetDTRState(false);
  port.SetRTSState(false);

  k2sim::K2Radio expected(sim.State());
  EXPECT_EQ(Ask(port, rec, "FA;MD;IF;", 3), "FA00007025000;MD3;" + expected.IfReply());
  EXPECT_EQ(sim.CommandLog(), (std::vector<std::string>{"FA;", "MD;", "IF;"}));

  // Commands change the radio; a long reply arrives whole, however it was cut into chunks.
  port.WriteText("FA00014060000;MD2;PA1;");
  ASSERT_TRUE(PumpUntil([&] { return sim.State().preamp; }, 20000));
  EXPECT_EQ(sim.State().vfoA, 14060000);
  EXPECT_EQ(sim.State().mode, 2);
  sim.SetChunking(4, 30);
  std::string ds = k2sim::K2Radio(sim.State()).DsReply();
  EXPECT_EQ(Ask(port, rec, "DS;FA;", 2), ds + "FA00014060000;");
  sim.SetChunking(0, 0);

  // A radio that is switched off answers nothing, and the port reports nothing for it.
  sim.SetSilent(true);
  const int chunks = rec.chunks;
  const std::size_t logged = sim.CommandCount();
  EXPECT_TRUE(port.WriteText("IF;"));
  ASSERT_TRUE(PumpUntil([&] { return sim.CommandCount() > logged; }, 20000));
  Pump(600);
  EXPECT_EQ(rec.chunks, chunks);
  sim.SetSilent(false);
  EXPECT_EQ(Ask(port, rec, "PA;", 1), "PA1;");

  EXPECT_EQ(Failures(rec), std::vector<std::uint32_t>{});
  EXPECT_EQ(rec.Count(901), 0);
}

TEST(SerialPortK2Sim, ReopensOnTheSameRadioAndMovesToAnother) {
  k2sim::K2Simulator first;
  first.Start();
  k2sim::K2State other;
  other.antenna = 2;
  k2sim::K2Simulator second(other);
  second.Start();

  TSerialPort port;
  PortRecorder rec;
  rec.Attach(port);
  ConfigureForK2(port, first.SlavePath());
  port.SetActive(true);
  ASSERT_TRUE(port.Active());
  EXPECT_EQ(Ask(port, rec, "AN;", 1), "AN1;");

  port.SetActive(false);
  EXPECT_FALSE(port.Active());
  EXPECT_EQ(port.ComHandle(), 0xFFFFFFFFu);
  port.SetActive(true);
  ASSERT_TRUE(port.Active());
  EXPECT_EQ(Ask(port, rec, "AN;", 1), "AN1;");

  // Another port name while open: closed here, opened there, with the same settings.
  port.SetCommPort(second.SlavePath());
  ASSERT_TRUE(port.Active());
  EXPECT_EQ(Ask(port, rec, "AN;PS;", 2), "AN2;PS1;");
  EXPECT_EQ(first.CommandLog(), (std::vector<std::string>{"AN;", "AN;"}));
  EXPECT_EQ(second.CommandLog(), (std::vector<std::string>{"AN;", "PS;"}));

  // The first radio's line is free again for another port.
  TSerialPort next;
  PortRecorder nextRec;
  nextRec.Attach(next);
  ConfigureForK2(next, first.SlavePath());
  next.SetActive(true);
  ASSERT_TRUE(next.Active());
  EXPECT_EQ(Ask(next, nextRec, "MD;", 1), "MD3;");

  EXPECT_EQ(Failures(rec), std::vector<std::uint32_t>{});
  EXPECT_EQ(Failures(nextRec), std::vector<std::uint32_t>{});
}

TEST(SerialPortK2Sim, WhatWasWrittenBeforeClosingReachesTheRadio) {
  // The release written just before the port closes, or before the program ends, must not be
  // discarded while the radio has yet to read it.
  for (int round = 0; round < 6; ++round) {
    k2sim::K2Simulator sim;
    sim.Start();
    auto port = std::make_unique<TSerialPort>();
    PortRecorder rec;
    rec.Attach(*port);
    ConfigureForK2(*port, sim.SlavePath());
    port->SetActive(true);
    ASSERT_TRUE(port->Active());
    EXPECT_TRUE(port->WriteText("TX;KY @;RX;"));
    if (round % 2 == 0)
      port->SetActive(false);
    else
      port.reset();
    ASSERT_TRUE(PumpUntil([&] { return sim.CommandCount() >= 3; }, 20000)) << "round " << round;
    EXPECT_EQ(sim.CommandLog(), (std::vector<std::string>{"TX;", "KY @;", "RX;"}));
    EXPECT_FALSE(sim.State().Transmitting());
    if (port) {
      EXPECT_EQ(Failures(rec), std::vector<std::uint32_t>{});
    }
  }
}
