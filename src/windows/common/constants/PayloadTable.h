// The payload resources of the launcher's module as C++ constants, from PayloadTable.def.
#pragma once

#include <string_view>

namespace payload {

struct Resource {
    int id;
    const char* type;
    // The file name, with "{version}" and "{digits}" for the product version's texts.
    const char* fileTemplate;
};

#define CDK_PAYLOAD_RESOURCE(name, id, type, file) inline constexpr Resource name{id, #type, file};
#include "PayloadTable.def"
#undef CDK_PAYLOAD_RESOURCE

// Every resource, in the order the launcher writes them.
inline constexpr Resource kResources[] = {
#define CDK_PAYLOAD_RESOURCE(name, id, type, file) name,
#include "PayloadTable.def"
#undef CDK_PAYLOAD_RESOURCE
};

// The resource type of both installer databases.
inline constexpr const char* kInstallerType = kKitDatabase.type;

// The cabinets are the resources whose type starts with "CORVID_CAB".
constexpr bool isCabinet(const Resource& resource) {
    return std::string_view(resource.type).substr(0, 10) == "CORVID_CAB";
}

// The cabinets are written under their file names less this suffix, which the cabinet path adds.
constexpr bool cabinetsEndInCab() {
    for (const Resource& resource : kResources) {
        if (isCabinet(resource) && !std::string_view(resource.fileTemplate).ends_with(".cab")) {
            return false;
        }
    }
    return true;
}
static_assert(cabinetsEndInCab(), "every cabinet's file name ends in .cab");

}  // namespace payload
