// Word lists the demo data is made of: places, names, types and phrases of
// a fictional rental-housing programme.
#pragma once

#include <string>
#include <vector>

namespace qv::demo {

struct AreaInfo {
  std::string name;
  std::string city;
  std::string zip_prefix;
};

const std::vector<AreaInfo>& Areas();
const std::vector<std::string>& PropertyTypes();
const std::vector<std::string>& ActivityStatuses();
const std::vector<std::string>& EntityTypes();  // ids 1.. in this order
const std::vector<std::string>& ResidentStatuses();
const std::vector<std::string>& ViolationTypes();
const std::vector<std::string>& ViolationActions();
const std::vector<std::string>& PoliceActions();
const std::vector<std::string>& NameFirstWords();
const std::vector<std::string>& NameSecondWords();
const std::vector<std::string>& NameSuffixes();
const std::vector<std::string>& Streets();
const std::vector<std::string>& StreetKinds();
const std::vector<std::string>& FirstNames();
const std::vector<std::string>& LastNames();
const std::vector<std::string>& CompanyWords();
const std::vector<std::string>& CompanyKinds();
const std::vector<std::string>& NoteTitles();
const std::vector<std::string>& NoteSentences();
const std::vector<std::string>& AuthorizationTitles();
const std::vector<std::string>& SignerTitles();
const std::vector<std::string>& InspectionTitles();
const std::vector<std::string>& AccessTypes();
const std::vector<std::string>& PhoneTypes();
const std::vector<std::string>& EvictionReasons();

}  // namespace qv::demo
