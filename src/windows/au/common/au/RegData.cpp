#include "au/RegData.h"

#include <stdexcept>

#include "AllUtils.h"
#include "RegistryData.h"
#include "au/DataProtection.h"

namespace au {

RegData::RegData(int layout) : layout_(layout) {}

RegistryKey& RegData::cachedKey(int location, bool forWriting) {
    const char* path = locationKeyPath(location);  // rejects unknown locations
    RegistryKey& key = keys_[(forWriting ? kLocationCount : 0) + location];
    if (!key.isOpen()) {
        RegistryKey& root = locationIsMachineWide(location) ? RegistryKey::localMachine()
                                                            : RegistryKey::currentUser();
        // Reading never creates the key; writing creates it when missing.
        key.open(root, path,
                 forWriting ? registry_view::Access::ReadWrite : registry_view::Access::Read,
                 forWriting ? RegistryKey::Create::IfMissing : RegistryKey::Create::No,
                 registry_view::View::Only32);
    }
    return key;
}

RegistryKey& RegData::readingKey(int location) { return cachedKey(location, false); }

RegistryKey& RegData::writingKey(int location) { return cachedKey(location, true); }

uint32_t RegData::getValue(const RegValueInfo& info) {
    try {
        const RegValueInfo value = translateForLayout(info, layout_);
        RegistryKey& key = readingKey(value.location);
        switch (value.encryptionType) {
            case ENCRYPTION_NONE:
                return key.queryDword(value.name);
            case ENCRYPTION_MACHINE_BASE64: {
                const std::vector<uint8_t> plain =
                    unprotectData(base64ToBinary(key.queryString(value.name)));
                if (plain.size() != 4) {
                    throw std::runtime_error("decrypted data has wrong size");
                }
                return registry_data::dwordFromBytes(plain.data());
            }
            default:
                throw std::logic_error("unknown encryptionType");
        }
    } catch (const std::exception& e) {
        CDK_LOG(LOG_ERROR, "au::RegData::getValue",
                std::string("getValue(DWORD) failed: ") + e.what());
        throw;
    }
}

void RegData::setValue(const RegValueInfo& info, uint32_t number) {
    try {
        const RegValueInfo value = translateForLayout(info, layout_);
        RegistryKey& key = writingKey(value.location);
        switch (value.encryptionType) {
            case ENCRYPTION_NONE:
                key.setDword(value.name, number);
                break;
            case ENCRYPTION_MACHINE_BASE64:
                key.setString(value.name, binaryToBase64(protectForMachine(dwordBytes(number))));
                break;
            default:
                throw std::logic_error("unknown encryptionType");
        }
    } catch (const std::exception& e) {
        CDK_LOG(LOG_ERROR, "au::RegData::setValue",
                std::string("setValue(DWORD) failed: ") + e.what());
        throw;
    }
}

}  // namespace au
