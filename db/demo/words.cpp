// The demo's word lists.
#include "words.h"

namespace qv::demo {

#define QV_LIST(name, ...)                                   \
  const std::vector<std::string>& name() {                   \
    static const std::vector<std::string> items{__VA_ARGS__}; \
    return items;                                            \
  }

const std::vector<AreaInfo>& Areas() {
  static const std::vector<AreaInfo> areas{
      {"Northgate", "Quorvale", "974"},   {"Riverside", "Quorvale", "974"},
      {"Old Town", "Quorvale", "974"},    {"Eastfield", "Eastfield", "975"},
      {"Harbor District", "Quorvale", "974"}, {"West Hills", "Linden Park", "976"},
      {"Southpark", "Quorvale", "974"},   {"Cedar Flats", "Marrow Springs", "977"},
  };
  return areas;
}

QV_LIST(PropertyTypes, "Apartment Complex", "Duplex", "Fourplex", "Single Family", "Townhouse",
        "Mobile Home Park", "Senior Housing", "Mixed Use")
QV_LIST(ActivityStatuses, "Active", "Certified", "Pending Certification", "Inactive", "Suspended")
QV_LIST(EntityTypes, "Manager", "Owner", "Management Company", "Resident Manager", "Maintenance",
        "Resident", "Emergency Contact")
QV_LIST(ResidentStatuses, "Leaseholder", "Authorized Occupant", "Guest", "Unauthorized Occupant",
        "Former Resident")
QV_LIST(ViolationTypes, "Drug Activity", "Disturbance", "Property Damage", "Unauthorized Occupant",
        "Weapons", "Trespass", "Excessive Noise", "Gang Activity", "Assault")
QV_LIST(ViolationActions, "Warning Letter", "Lease Violation Notice", "Eviction Notice",
        "Meeting With Tenant", "Lease Not Renewed", "No Action")
QV_LIST(PoliceActions, "Arrest", "Citation", "Report Filed", "Trespass Warning", "Referred",
        "None")
QV_LIST(NameFirstWords, "Maple", "Willow", "Cedar", "Aspen", "Birch", "Juniper", "Harbor",
        "River", "Lake", "Summit", "Meadow", "Orchard", "Pine", "Elm", "Oak", "Chestnut",
        "Heron", "Falcon", "Sparrow", "Granite", "Copper", "Silver", "Golden", "Quail", "Fox",
        "Laurel", "Magnolia", "Hawthorne", "Linden", "Sycamore", "Alder", "Spruce", "Hillside",
        "Parkview", "Bayview", "Westwind", "Sunrise", "Crescent", "Valley", "Brook")
QV_LIST(NameSecondWords, "Court", "Creek", "Ridge", "Gardens", "Park", "Commons", "Terrace",
        "Village", "Square", "Crossing", "Landing", "Point", "Grove", "Place", "Heights",
        "Manor", "Row", "Glen", "Hollow", "Station")
QV_LIST(NameSuffixes, "Apartments", "Townhomes", "Residences", "Homes", "Lofts", "Flats",
        "Duplexes", "Cottages")
QV_LIST(Streets, "Main", "Oak", "Pine", "Maple", "Cedar", "Elm", "Washington", "Lake", "Hill",
        "Park", "River", "Market", "Church", "Spring", "Mill", "Union", "Harbor", "Front",
        "Jefferson", "Lincoln", "Franklin", "Highland", "Orchard", "Railroad", "Bridge", "Grant",
        "Madison", "Monroe", "Sunset", "Valley", "Forest", "Meadow", "Center", "Prospect",
        "Willow", "Birch", "Walnut", "Chestnut", "Division", "Water")
QV_LIST(StreetKinds, "St", "Ave", "Rd", "Blvd", "Dr", "Ln", "Way", "Ct", "Pl")
QV_LIST(FirstNames, "James", "Mary", "Robert", "Patricia", "John", "Jennifer", "Michael", "Linda",
        "David", "Elizabeth", "William", "Barbara", "Richard", "Susan", "Joseph", "Jessica",
        "Thomas", "Sarah", "Carlos", "Maria", "Daniel", "Nancy", "Matthew", "Lisa", "Anthony",
        "Betty", "Mark", "Sandra", "Steven", "Ashley", "Paul", "Kimberly", "Andrew", "Donna",
        "Kevin", "Michelle", "Brian", "Carol", "George", "Amanda", "Luis", "Rosa", "Tran",
        "Mei", "Ahmed", "Fatima", "Olga", "Ivan", "Keiko", "Samuel")
QV_LIST(LastNames, "Smith", "Johnson", "Williams", "Brown", "Jones", "Garcia", "Miller", "Davis",
        "Rodriguez", "Martinez", "Hernandez", "Lopez", "Gonzalez", "Wilson", "Anderson",
        "Thomas", "Taylor", "Moore", "Jackson", "Martin", "Lee", "Perez", "Thompson", "White",
        "Harris", "Sanchez", "Clark", "Ramirez", "Lewis", "Robinson", "Walker", "Young",
        "Allen", "King", "Wright", "Scott", "Nguyen", "Hill", "Flores", "Green", "Adams",
        "Nelson", "Baker", "Hall", "Rivera", "Campbell", "Mitchell", "Carter", "Roberts",
        "Okafor", "Petrov", "Tanaka", "Haddad", "Lindqvist", "O'Brien")
QV_LIST(CompanyWords, "Summit", "Keystone", "Evergreen", "Pinnacle", "Cornerstone", "Harborview",
        "Northwest", "Cascade", "Riverbend", "Landmark", "Heritage", "Beacon", "Frontier",
        "Greystone", "Bluewater", "Ironwood")
QV_LIST(CompanyKinds, "Property Management", "Realty Group", "Residential LLC", "Holdings Inc",
        "Housing Services", "Investment Partners", "Management Co")
QV_LIST(NoteTitles, "Site visit", "Phone call with manager", "Crime-free lease addendum",
        "Follow-up on complaint", "Training attended", "Owner meeting", "Lighting repaired",
        "Fence damage reported", "Graffiti removed", "New manager hired", "Certification review",
        "Neighbour complaint")
QV_LIST(NoteSentences, "Met with the on-site manager to review recent incidents.",
        "Manager reports that the gate has been repaired and now closes properly.",
        "Owner agreed to add lighting along the rear parking area.",
        "Residents complained about loitering near the laundry room.",
        "Police were called twice last month for disturbances in building B.",
        "All units now use the crime-free lease addendum.",
        "Manager attended the phase 1 training on March 3.",
        "Trimmed shrubs along the walkway to improve visibility.",
        "Follow up in 30 days to confirm the repairs are done.",
        "Graffiti on the north wall was painted over within 48 hours.",
        "Discussed eviction options for the unit with repeated violations.",
        "New security cameras cover the main entrance & the mailboxes.",
        "Tenant meeting planned for next month; flyers posted.",
        "No further complaints since the last visit.")
QV_LIST(AuthorizationTitles, "Trespass Authorization", "Agent Authorization",
        "Crime-Free Lease Addendum", "Police Access Authorization", "No Trespassing Signage",
        "Records Release")
QV_LIST(SignerTitles, "Owner", "Property Manager", "Regional Manager", "Managing Partner",
        "Asset Manager", "President")
QV_LIST(InspectionTitles, "CPTED Initial Survey", "CPTED Lighting Review", "CPTED Landscaping Review",
        "CPTED Annual Inspection", "CPTED Access Control Review", "CPTED Follow-up")
QV_LIST(AccessTypes, "Gate Code", "Lockbox", "Key Location", "Alarm Code", "Door Code",
        "Pool Gate", "Master Key")
QV_LIST(PhoneTypes, "Office", "Cell", "Home", "Fax", "Emergency", "Pager", "Work")
QV_LIST(EvictionReasons, "Drug activity in unit", "Repeated disturbances",
        "Unauthorized occupants after warnings", "Damage to property", "Threats to neighbours")

#undef QV_LIST

}  // namespace qv::demo
