#include "client/StationList.h"

void TStationList::Load() {
  items_.clear();
  for (const std::string& name : settings_.StationNames())
    items_.push_back({name, settings_.StoredStation(name).Comment});
}

std::string TStationList::ItemText(std::size_t index) const {
  const TItem& item = items_.at(index);
  return item.Name + "\t" + item.Comment;
}

void TStationList::Delete(std::size_t index) {
  if (index < items_.size()) items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(index));
}

void TStationList::Replace(std::size_t index, const std::string& name, const std::string& comment) {
  items_.at(index) = {name, comment};
}

void TStationList::Append(const std::string& name, const std::string& comment) {
  items_.push_back({name, comment});
}

void TStationList::Save() const {
  std::vector<std::string> names;
  for (const TItem& item : items_) names.push_back(item.Name);
  settings_.SetStationNames(names);
}

std::string TStationList::NameOfItem(const std::string& itemText) {
  return itemText.substr(0, itemText.find('\t'));
}

bool TStationList::FieldsComplete(const std::string& call, const std::string& addr,
                                  const std::string& port) {
  return call.size() >= 3 && addr.size() >= 3 && port.size() >= 2;
}

std::string TStationList::Problem(const TClientSettings::TStation& station) {
  const std::string checks[] = {
      TClientSettings::SectionNameProblem("The call or name", station.Name),
      TClientSettings::ValueProblem("The comment", station.Comment),
      TClientSettings::ValueProblem("The address", station.Addr),
      TClientSettings::ValueProblem("The port", station.Port),
      TClientSettings::PasswordProblem("The password", station.Password,
                                       TClientSettings::kPasswordSeed),
  };
  for (const std::string& problem : checks)
    if (!problem.empty()) return problem;
  return "";
}
