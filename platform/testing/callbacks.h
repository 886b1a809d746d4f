#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace platform::testing {

// Callbacks by key, each kept while the handle returned for it lives. `call` runs a key's
// callbacks on the calling thread, outside the lock, so that a callback may add or drop others.
// Any thread may use it.
template <class Handle, class Key>
class Callbacks {
public:
    std::unique_ptr<Handle> add(Key key, std::function<void()> callback) {
        auto shared = std::make_shared<std::function<void()>>(std::move(callback));
        std::lock_guard lock(state_->mutex);
        state_->entries.emplace_back(std::move(key), shared);
        return std::make_unique<Remover>(state_, std::move(shared));
    }
    // The key of every live callback.
    std::vector<Key> keys() const {
        std::lock_guard lock(state_->mutex);
        std::vector<Key> keys;
        for (const auto& entry : state_->entries) keys.push_back(entry.first);
        return keys;
    }
    void call(const Key& key) const {
        std::vector<std::shared_ptr<std::function<void()>>> matching;
        {
            std::lock_guard lock(state_->mutex);
            for (const auto& [k, callback] : state_->entries) {
                if (k == key) matching.push_back(callback);
            }
        }
        for (const auto& callback : matching) (*callback)();
    }

private:
    struct State {
        mutable std::mutex mutex;
        std::vector<std::pair<Key, std::shared_ptr<std::function<void()>>>> entries;
    };
    class Remover : public Handle {
    public:
        Remover(std::shared_ptr<State> state, std::shared_ptr<std::function<void()>> callback)
            : state_(std::move(state)), callback_(std::move(callback)) {}
        ~Remover() override {
            std::lock_guard lock(state_->mutex);
            std::erase_if(state_->entries,
                          [&](const auto& entry) { return entry.second == callback_; });
        }

    private:
        std::shared_ptr<State> state_;
        std::shared_ptr<std::function<void()>> callback_;
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace platform::testing
