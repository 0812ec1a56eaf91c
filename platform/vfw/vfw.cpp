#include "platform/vfw/vfw.h"

#include <mutex>

#include "platform/vfw/builtin_drivers.h"

namespace platform::vfw {

namespace {

struct DriverList {
    std::mutex mutex;
    bool loaded = false;
    std::vector<std::shared_ptr<CodecDriver>> drivers;
};

DriverList& Drivers() {
    static DriverList list;
    return list;
}

// Callers hold the list's mutex.
std::vector<std::shared_ptr<CodecDriver>>& LoadedDrivers(DriverList& list) {
    if (!list.loaded) {
        list.drivers = BuiltInDrivers();
        list.loaded = true;
    }
    return list.drivers;
}

}  // namespace

struct Codec {
    std::shared_ptr<CodecDriver> driver;
    std::unique_ptr<CodecInstance> instance;
};

std::vector<std::shared_ptr<CodecDriver>> InstalledDrivers() {
    auto& list = Drivers();
    std::lock_guard lock(list.mutex);
    return LoadedDrivers(list);
}

ScopedDrivers::ScopedDrivers(std::vector<std::shared_ptr<CodecDriver>> drivers) {
    auto& list = Drivers();
    std::lock_guard lock(list.mutex);
    previous_ = std::move(LoadedDrivers(list));
    list.drivers = std::move(drivers);
}

ScopedDrivers::~ScopedDrivers() {
    auto& list = Drivers();
    std::lock_guard lock(list.mutex);
    list.drivers = std::move(previous_);
}

std::uint32_t VideoForWindowsVersion() {
    return 0x010A0000u;
}

bool ICInfo(FOURCC fccType, std::uint32_t index, ICINFO* info) {
    if (info == nullptr) return false;
    std::uint32_t seen = 0;
    for (const auto& driver : InstalledDrivers()) {
        ICINFO candidate = driver->Info();
        if (candidate.fccType != fccType) continue;
        if (seen++ == index) {
            *info = candidate;
            return true;
        }
    }
    return false;
}

HIC ICOpen(FOURCC fccType, FOURCC fccHandler, std::uint32_t mode) {
    for (const auto& driver : InstalledDrivers()) {
        ICINFO info = driver->Info();
        if (info.fccType != fccType || multimedia::UpperCaseFourCC(info.fccHandler) !=
                                           multimedia::UpperCaseFourCC(fccHandler)) {
            continue;
        }
        auto instance = driver->Open(mode);
        if (!instance) return nullptr;
        return new Codec{driver, std::move(instance)};
    }
    return nullptr;
}

LRESULT ICSendMessage(HIC hic, std::uint32_t msg, std::intptr_t p1, std::intptr_t p2) {
    if (hic == nullptr) return ICERR_BADHANDLE;
    return hic->instance->Message(msg, p1, p2);
}

LRESULT ICGetInfo(HIC hic, ICINFO* info, std::uint32_t cb) {
    if (hic == nullptr || info == nullptr) return 0;
    return ICSendMessage(hic, ICM_GETINFO, reinterpret_cast<std::intptr_t>(info), cb);
}

LRESULT ICClose(HIC hic) {
    delete hic;
    return ICERR_OK;
}

}  // namespace platform::vfw
