// The in-memory form of the metabase: a tree of keys, each holding its properties.
//
// Key names are UTF-8, compare as IIS compares them, without regard to case (ASCII letters
// only: the stand-in has no tables to fold others with), and keep the spelling of whoever
// created them. Children and properties stay in creation order, the order in which the
// metabase enumerates them. Not thread-safe: MetabaseStore owns the tree and serialises
// all access to it.
#ifndef STANDIN_WIN32_METABASE_METABASE_TREE_H
#define STANDIN_WIN32_METABASE_METABASE_TREE_H

#include <windows.h>

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace standin::metabase {

// Components of a key's path below the root, e.g. {"LM", "W3SVC", "1", "ROOT"}.
using KeyPath = std::vector<std::string>;

// How deep keys may be made. Far beyond what IIS configurations use, and it keeps the
// recursive walks over the tree (writing it, freeing it) to a small stack.
inline constexpr size_t kMaxKeyDepth = 128;

inline char upperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

inline bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (upperAscii(a[i]) != upperAscii(b[i])) {
            return false;
        }
    }
    return true;
}

// One property as SetData stores it. `data` always has the form its type demands (see
// property_records.h), whoever made it.
struct Property {
    DWORD identifier = 0;
    DWORD attributes = 0;
    DWORD userType = 0;
    DWORD dataType = 0;
    std::vector<BYTE> data;
};

class MetabaseKey {
  public:
    explicit MetabaseKey(std::string name) : name_(std::move(name)) {}
    MetabaseKey(const MetabaseKey&) = delete;
    MetabaseKey& operator=(const MetabaseKey&) = delete;

    const std::string& name() const { return name_; }

    const std::vector<Property>& properties() const { return properties_; }

    const Property* findProperty(DWORD identifier) const {
        for (const Property& property : properties_) {
            if (property.identifier == identifier) {
                return &property;
            }
        }
        return nullptr;
    }

    // A property that exists keeps its place in the enumeration order.
    void setProperty(Property property) {
        for (Property& existing : properties_) {
            if (existing.identifier == property.identifier) {
                existing = std::move(property);
                return;
            }
        }
        properties_.push_back(std::move(property));
    }

    void removeProperty(DWORD identifier) {
        for (auto it = properties_.begin(); it != properties_.end(); ++it) {
            if (it->identifier == identifier) {
                properties_.erase(it);
                return;
            }
        }
    }

    const std::vector<std::unique_ptr<MetabaseKey>>& children() const { return children_; }

    const MetabaseKey* findChild(std::string_view name) const {
        for (const auto& child : children_) {
            if (sameName(child->name(), name)) {
                return child.get();
            }
        }
        return nullptr;
    }
    MetabaseKey* findChild(std::string_view name) {
        return const_cast<MetabaseKey*>(std::as_const(*this).findChild(name));
    }

    // The child of that name, created with this spelling when there is none.
    MetabaseKey& addChild(std::string_view name, bool* created) {
        MetabaseKey* found = findChild(name);
        *created = found == nullptr;
        if (found != nullptr) {
            return *found;
        }
        children_.push_back(std::make_unique<MetabaseKey>(std::string(name)));
        return *children_.back();
    }

    void removeChild(std::string_view name) {
        for (auto it = children_.begin(); it != children_.end(); ++it) {
            if (sameName((*it)->name(), name)) {
                children_.erase(it);
                return;
            }
        }
    }

    void removeChildren() { children_.clear(); }

  private:
    std::string name_;
    std::vector<Property> properties_;
    std::vector<std::unique_ptr<MetabaseKey>> children_;
};

// The key at `path`, or null. Key is MetabaseKey or const MetabaseKey.
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
inline std::vector<const MetabaseKey*> existingChain(const MetabaseKey& root, const KeyPath& path) {
    std::vector<const MetabaseKey*> chain{&root};
    for (const std::string& component : path) {
        const MetabaseKey* child = chain.back()->findChild(component);
        if (child == nullptr) {
            break;
        }
        chain.push_back(child);
    }
    return chain;
}

// Creates what is missing of `path`; *created tells whether the last key is new.
inline MetabaseKey& createKey(MetabaseKey& root, const KeyPath& path, bool* created) {
    MetabaseKey* key = &root;
    *created = false;
    for (const std::string& component : path) {
        key = &key->addChild(component, created);
    }
    return *key;
}

}  // namespace standin::metabase

#endif  // STANDIN_WIN32_METABASE_METABASE_TREE_H
