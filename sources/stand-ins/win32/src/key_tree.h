// A tree of named keys, each holding entries: the shape both the registry
// (HKEY_LOCAL_MACHINE and its values) and the metabase (keys and their properties) keep
// their data in.
//
// Key names compare as Windows and IIS compare them, by their upper-case form (ASCII letters
// only: the stand-in has no code page to fold others with), and keep the spelling of
// whoever created them. Entries stay in creation order, the order both enumerate them in;
// children are held in the order given by the traits. Not thread-safe: the store that owns
// a tree serialises all access to it.
#ifndef STANDIN_WIN32_KEY_TREE_H
#define STANDIN_WIN32_KEY_TREE_H

#include <algorithm>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "native/common/basics/ascii_text.h"

namespace standin {

// Components of a key's path below the root, e.g. {"SOFTWARE", "Orlena"}.
using KeyPath = std::vector<std::string>;

using brevant::ascii::compareIgnoringCase;
using brevant::ascii::equalIgnoringCase;

// How a key lists its children.
enum class ChildOrder {
    kCreation,  // the metabase: as they were added
    kByName,    // the registry: by compareIgnoringCase
};

// Traits name what a key holds:
//   using Entry = ...;                       the stored item
//   using EntryId = ...;                     what tells entries apart
//   static EntryId idOf(const Entry&);
//   static bool matches(const Entry&, EntryId);
//   static constexpr ChildOrder kChildOrder = ...;
template <typename Traits>
class TreeKey {
  public:
    using Entry = typename Traits::Entry;
    using EntryId = typename Traits::EntryId;
    using Children = std::vector<std::unique_ptr<TreeKey>>;

    explicit TreeKey(std::string name) : name_(std::move(name)) {}
    TreeKey(const TreeKey&) = delete;
    TreeKey& operator=(const TreeKey&) = delete;
    TreeKey(TreeKey&&) = default;
    TreeKey& operator=(TreeKey&&) = default;

    const std::string& name() const { return name_; }

    // In enumeration order.
    const std::vector<Entry>& entries() const { return entries_; }

    const Entry* findEntry(EntryId id) const {
        auto found = std::find_if(entries_.begin(), entries_.end(),
                                  [&](const Entry& entry) { return Traits::matches(entry, id); });
        return found == entries_.end() ? nullptr : &*found;
    }

    // An entry that exists keeps its place in the enumeration order (and, for named
    // entries, the spelling it was created with).
    void setEntry(Entry entry) {
        EntryId id = Traits::idOf(entry);
        for (Entry& existing : entries_) {
            if (Traits::matches(existing, id)) {
                Traits::replace(existing, std::move(entry));
                return;
            }
        }
        entries_.push_back(std::move(entry));
    }

    void removeEntry(EntryId id) {
        auto found = std::find_if(entries_.begin(), entries_.end(),
                                  [&](const Entry& entry) { return Traits::matches(entry, id); });
        if (found != entries_.end()) {
            entries_.erase(found);
        }
    }

    // In enumeration order.
    const Children& children() const { return children_; }

    const TreeKey* findChild(std::string_view name) const {
        auto found = position(name);
        return isNamed(found, name) ? found->get() : nullptr;
    }
    TreeKey* findChild(std::string_view name) {
        return const_cast<TreeKey*>(std::as_const(*this).findChild(name));
    }

    // The child of that name, created with this spelling when there is none.
    TreeKey& addChild(std::string_view name, bool* created = nullptr) {
        auto found = position(name);
        bool exists = isNamed(found, name);
        if (created != nullptr) {
            *created = !exists;
        }
        if (exists) {
            return **found;
        }
        return **children_.insert(found, std::make_unique<TreeKey>(std::string(name)));
    }

    void removeChild(std::string_view name) {
        auto found = position(name);
        if (isNamed(found, name)) {
            children_.erase(found);
        }
    }

    void removeChildren() { children_.clear(); }

  private:
    bool isNamed(typename Children::const_iterator child, std::string_view name) const {
        return child != children_.end() && equalIgnoringCase((*child)->name(), name);
    }

    // Where a child of that name is, or, when there is none, where it goes.
    typename Children::const_iterator position(std::string_view name) const {
        if constexpr (Traits::kChildOrder == ChildOrder::kByName) {
            return std::lower_bound(children_.begin(), children_.end(), name,
                                    [](const std::unique_ptr<TreeKey>& child, std::string_view n) {
                                        return compareIgnoringCase(child->name(), n) < 0;
                                    });
        } else {
            auto found = std::find_if(children_.begin(), children_.end(), [&](const auto& child) {
                return equalIgnoringCase(child->name(), name);
            });
            return found;  // end() when missing: new children go last
        }
    }

    std::string name_;
    std::vector<Entry> entries_;
    Children children_;
};

// The key at `path`, or null. Key is a TreeKey, const or not.
template <typename Key>
Key* findKey(Key& root, const KeyPath& path) {
    Key* key = &root;
    for (const std::string& component : path) {
        key = key->findChild(component);
        if (key == nullptr) {
            return nullptr;
        }
    }
    return key;
}

// The keys from the root down along `path`, as far as they exist: the root first.
template <typename Traits>
std::vector<const TreeKey<Traits>*> existingChain(const TreeKey<Traits>& root,
                                                  const KeyPath& path) {
    std::vector<const TreeKey<Traits>*> chain{&root};
    for (const std::string& component : path) {
        const TreeKey<Traits>* child = chain.back()->findChild(component);
        if (child == nullptr) {
            break;
        }
        chain.push_back(child);
    }
    return chain;
}

// Creates what is missing of `path`; *created tells whether the last key is new.
template <typename Traits>
TreeKey<Traits>& createKey(TreeKey<Traits>& root, const KeyPath& path, bool* created = nullptr) {
    TreeKey<Traits>* key = &root;
    bool last = false;
    for (const std::string& component : path) {
        key = &key->addChild(component, &last);
    }
    if (created != nullptr) {
        *created = last;
    }
    return *key;
}

}  // namespace standin

#endif  // STANDIN_WIN32_KEY_TREE_H
