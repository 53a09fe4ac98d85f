#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "client/ClientSettings.h"

// The station list of the connect dialog without its widgets: the items as the list box shows
// them (name, a tab, the comment), the list written back to the INI file, and the checks of the
// station dialog's fields.
class TStationList {
 public:
  explicit TStationList(const TClientSettings& settings) : settings_(settings) {}

  // The stored list, each item with its station's "Comment".
  void Load();
  std::size_t Count() const { return items_.size(); }
  // Name + tab + comment.
  std::string ItemText(std::size_t index) const;
  const std::string& Name(std::size_t index) const { return items_.at(index).Name; }
  void Delete(std::size_t index);
  void Replace(std::size_t index, const std::string& name, const std::string& comment);
  void Append(const std::string& name, const std::string& comment);
  // Writes the names in list order, ended by an empty entry.
  void Save() const;

  // The text before the item's tab.
  static std::string NameOfItem(const std::string& itemText);
  // The station dialog's OK: call and address of at least 3 characters, port of at least 2.
  static bool FieldsComplete(const std::string& call, const std::string& addr,
                             const std::string& port);
  // The first reason why the station cannot be stored; empty when it can.
  static std::string Problem(const TClientSettings::TStation& station);

 private:
  struct TItem {
    std::string Name;
    std::string Comment;
  };
  const TClientSettings& settings_;
  std::vector<TItem> items_;
};
