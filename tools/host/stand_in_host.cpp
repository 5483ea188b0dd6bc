#include "tools/host/stand_in_host.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <utility>

namespace kelvo {
namespace rtc_sdk {
namespace {

using video::HostLoadCallback;
using video::IExtensionProvider;
using video::IHostExtensionRegistry;

std::atomic<int> gLiveObjects{0};

// Reference counting shared by the host's objects.
template <typename Interface>
class Counted : public Interface {
public:
    Counted() { gLiveObjects.fetch_add(1); }
    void addRef() override { refs_.fetch_add(1, std::memory_order_relaxed); }
    int release() override {
        if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) {
            delete this;
            return 0;
        }
        return 1;
    }
    bool hasOneRef() const override { return refs_.load() == 1; }
    int references() const { return refs_.load(); }

protected:
    ~Counted() override { gLiveObjects.fetch_sub(1); }

private:
    std::atomic<int> refs_{1};
};

class Control final : public Counted<StandInControl> {
public:
    void deliverFrame(IHostVideoFrame* frame) override {
        if (!frame) return;
        delivered_.fetch_add(1);
        // Sent on at once: the host is done with it.
        frame->release();
    }
    int reserved5() override { return 0; }
    int reserved6() override { return 0; }
    void log(int level, const char* format, ...) override {
        if (!format) return;
        char line[1024];
        va_list args;
        va_start(args, format);
        std::vsnprintf(line, sizeof line, format, args);
        va_end(args);
        std::lock_guard<std::mutex> lock(mutex_);
        lines_.push_back({level, line});
    }
    std::vector<LogLine> logLines() const override {
        std::lock_guard<std::mutex> lock(mutex_);
        return lines_;
    }
    void clearLog() override {
        std::lock_guard<std::mutex> lock(mutex_);
        lines_.clear();
    }
    int deliveredFrames() const override { return delivered_.load(); }
    int references() const override { return Counted::references(); }

private:
    mutable std::mutex mutex_;
    std::vector<LogLine> lines_;
    std::atomic<int> delivered_{0};
};

class Frame final : public Counted<StandInFrame> {
public:
    explicit Frame(const HostFrameData& description) : description_(description) {}
    void getFrameData(HostFrameData* data) override {
        if (!data) return;
        const HostFrameData& d = description_;
        data->kind = d.kind;
        data->textureType = d.textureType;
        data->buffer = d.buffer;
        data->bufferSize = d.bufferSize;
        data->textureName = d.textureName;
        data->width = d.width;
        data->height = d.height;
        if (d.primariesCode >= 0) data->primariesCode = d.primariesCode;
        if (d.transferCode >= 0) data->transferCode = d.transferCode;
        if (d.matrixCode >= 0) data->matrixCode = d.matrixCode;
        if (d.rangeCode >= 0) data->rangeCode = d.rangeCode;
    }
    int references() const override { return Counted::references(); }

private:
    const HostFrameData description_;
};

// Lives as long as the process; holds its providers by reference.
class Registry final : public IHostExtensionRegistry {
public:
    void addRef() override {}
    int release() override { return 1; }
    bool hasOneRef() const override { return false; }
    int reserved4() override { return 0; }
    int registerProvider(const char* name, IExtensionProvider* provider) override {
        if (!name || !provider) {
            if (provider) provider->release();
            return -1;
        }
        IExtensionProvider* replaced = nullptr;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            for (auto& entry : providers_) {
                if (entry.first == name) {
                    replaced = entry.second;
                    entry.second = provider;
                    break;
                }
            }
            if (!replaced) providers_.emplace_back(name, provider);
        }
        if (replaced) replaced->release();
        return 0;
    }
    std::vector<std::string> names() const {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<std::string> result;
        for (const auto& entry : providers_) result.push_back(entry.first);
        return result;
    }
    IExtensionProvider* find(const std::string& name) const {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& entry : providers_)
            if (entry.first == name) return entry.second;
        return nullptr;
    }
    void clear() {
        std::vector<std::pair<std::string, IExtensionProvider*>> dropped;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            dropped.swap(providers_);
        }
        for (auto& entry : dropped) entry.second->release();
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::pair<std::string, IExtensionProvider*>> providers_;
};

class Host final : public StandInHost {
public:
    std::vector<std::string> loadAnnouncements() const override {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<std::string> names;
        for (const auto& entry : announcements_) names.push_back(entry.first);
        return names;
    }
    int runLoadCallbacks() override {
        std::vector<HostLoadCallback> callbacks;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            for (const auto& entry : announcements_)
                if (entry.second) callbacks.push_back(entry.second);
        }
        // Unlocked: a callback calls back into the host.
        for (HostLoadCallback callback : callbacks) callback();
        return static_cast<int>(callbacks.size());
    }
    void setReady(bool ready) override { ready_.store(ready); }
    std::vector<std::string> providerNames() const override { return registry_.names(); }
    IExtensionProvider* provider(const std::string& name) const override {
        return registry_.find(name);
    }
    void releaseProviders() override { registry_.clear(); }
    void reset() override {
        registry_.clear();
        std::lock_guard<std::mutex> lock(mutex_);
        announcements_.clear();
        ready_.store(true);
    }
    StandInControl* createControl() override { return new Control(); }
    StandInFrame* createFrame(const HostFrameData& description) override {
        return new Frame(description);
    }
    int liveObjects() const override { return gLiveObjects.load(); }

    void announce(const char* name, HostLoadCallback callback) {
        std::lock_guard<std::mutex> lock(mutex_);
        announcements_.emplace_back(name ? name : "", callback);
    }
    IHostExtensionRegistry* registry() { return ready_.load() ? &registry_ : nullptr; }

private:
    mutable std::mutex mutex_;
    std::vector<std::pair<std::string, HostLoadCallback>> announcements_;
    std::atomic<bool> ready_{true};
    Registry registry_;
};

Host& host() {
    // Never destroyed: extension libraries may still hold host objects while
    // the process exits.
    static Host* instance = new Host();
    return *instance;
}

}  // namespace
}  // namespace rtc_sdk
}  // namespace kelvo

int kelvo_rtc_sdk_ordinal_9(const char* providerName, kelvo::video::HostLoadCallback callback) {
    kelvo::rtc_sdk::host().announce(providerName, callback);
    return 0;
}

kelvo::video::IHostExtensionRegistry* kelvo_rtc_sdk_ordinal_7() {
    return kelvo::rtc_sdk::host().registry();
}

kelvo::rtc_sdk::StandInHost* kelvo_rtc_sdk_stand_in_host() { return &kelvo::rtc_sdk::host(); }
