// The few values used last, by key. A paused recording steps between
// neighbours of the frame set shown and a playing one takes the frame sets
// built ahead, so keeping a handful around the place shown turns most
// hand-outs into a lookup. Values are shared and never written once kept.
//
// Safe from any thread.
#pragma once

#include <cstddef>
#include <list>
#include <memory>
#include <mutex>
#include <utility>

namespace playback::detail {

template <class Key, class Value>
class recent_cache {
public:
    explicit recent_cache(size_t capacity) : capacity_(capacity) { }

    // The value kept for `key` (now the most recently used), or null.
    std::shared_ptr<const Value> find(const Key& key)
    {
        std::lock_guard<std::mutex> g(m_);
        for (auto it = items_.begin(); it != items_.end(); ++it)
            if (it->first == key) {
                items_.splice(items_.begin(), items_, it);
                return items_.front().second;
            }
        return nullptr;
    }

    bool holds(const Key& key) const
    {
        std::lock_guard<std::mutex> g(m_);
        for (const auto& item : items_)
            if (item.first == key)
                return true;
        return false;
    }

    // Keeps `value` for `key` (replacing what was kept for it), dropping the
    // least recently used beyond the capacity.
    void put(const Key& key, std::shared_ptr<const Value> value)
    {
        std::lock_guard<std::mutex> g(m_);
        for (auto it = items_.begin(); it != items_.end(); ++it)
            if (it->first == key) {
                items_.erase(it);
                break;
            }
        items_.emplace_front(key, std::move(value));
        while (items_.size() > capacity_)
            items_.pop_back();
    }

    // Drops every entry whose key `stale(key)` is true of.
    template <class Pred>
    void drop_if(Pred stale)
    {
        std::lock_guard<std::mutex> g(m_);
        items_.remove_if([&](const auto& item) { return stale(item.first); });
    }

    void clear()
    {
        std::lock_guard<std::mutex> g(m_);
        items_.clear();
    }

    size_t size() const
    {
        std::lock_guard<std::mutex> g(m_);
        return items_.size();
    }

private:
    mutable std::mutex m_;
    std::list<std::pair<Key, std::shared_ptr<const Value>>> items_;  // most recently used first
    const size_t capacity_;
};

}  // namespace playback::detail
