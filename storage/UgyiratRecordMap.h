// CUgyiratRecordMap: the store's ordered map of case records by key, with a
// change count. Reading through a const map costs nothing extra; every
// member that can change a record (a mutable iterator, reference or record
// pointer included, counted when it is taken) raises Version, so whatever
// keeps a copy of the records' texts (the search index) knows that it must
// read them again. The store changes its own map through Untracked and
// keeps its copies in step itself.
#pragma once
#include <map>
#include <utility>
#include "storage/UgyiratRecord.h"

class CUgyiratRecordMap
{
public:
    typedef std::map<int, CUgyiratRecord> Map;
    typedef Map::key_type key_type;
    typedef Map::mapped_type mapped_type;
    typedef Map::value_type value_type;
    typedef Map::size_type size_type;
    typedef Map::iterator iterator;
    typedef Map::const_iterator const_iterator;
    typedef Map::reverse_iterator reverse_iterator;
    typedef Map::const_reverse_iterator const_reverse_iterator;

    CUgyiratRecordMap() : m_version(0) {}
    CUgyiratRecordMap(const CUgyiratRecordMap& other) : m_map(other.m_map), m_version(0) {}
    CUgyiratRecordMap& operator=(const CUgyiratRecordMap& other)
    {
        Touch();
        m_map = other.m_map;
        return *this;
    }

    // Reading.
    size_type size() const { return m_map.size(); }
    bool empty() const { return m_map.empty(); }
    size_type count(int key) const { return m_map.count(key); }
    const_iterator begin() const { return m_map.begin(); }
    const_iterator end() const { return m_map.end(); }
    const_iterator cbegin() const { return m_map.cbegin(); }
    const_iterator cend() const { return m_map.cend(); }
    const_reverse_iterator rbegin() const { return m_map.rbegin(); }
    const_reverse_iterator rend() const { return m_map.rend(); }
    const_reverse_iterator crbegin() const { return m_map.crbegin(); }
    const_reverse_iterator crend() const { return m_map.crend(); }
    const_iterator find(int key) const { return m_map.find(key); }
    const_iterator lower_bound(int key) const { return m_map.lower_bound(key); }
    const_iterator upper_bound(int key) const { return m_map.upper_bound(key); }
    const CUgyiratRecord& at(int key) const { return m_map.at(key); }
    const Map& Records() const { return m_map; }
    operator const Map&() const { return m_map; }

    // Changing (each raises Version).
    iterator begin() { Touch(); return m_map.begin(); }
    iterator end() { Touch(); return m_map.end(); }
    reverse_iterator rbegin() { Touch(); return m_map.rbegin(); }
    reverse_iterator rend() { Touch(); return m_map.rend(); }
    iterator find(int key) { Touch(); return m_map.find(key); }
    iterator lower_bound(int key) { Touch(); return m_map.lower_bound(key); }
    iterator upper_bound(int key) { Touch(); return m_map.upper_bound(key); }
    CUgyiratRecord& at(int key) { Touch(); return m_map.at(key); }
    CUgyiratRecord& operator[](int key) { Touch(); return m_map[key]; }
    std::pair<iterator, bool> insert(const value_type& item) { Touch(); return m_map.insert(item); }
    std::pair<iterator, bool> insert_or_assign(int key, const CUgyiratRecord& record)
    {
        Touch();
        return m_map.insert_or_assign(key, record);
    }
    template <class... Args> std::pair<iterator, bool> emplace(Args&&... args)
    {
        Touch();
        return m_map.emplace(std::forward<Args>(args)...);
    }
    iterator erase(const_iterator at) { Touch(); return m_map.erase(at); }
    iterator erase(iterator at) { Touch(); return m_map.erase(at); }
    size_type erase(int key) { Touch(); return m_map.erase(key); }
    void clear() { Touch(); m_map.clear(); }
    void swap(CUgyiratRecordMap& other)
    {
        Touch();
        other.Touch();
        m_map.swap(other.m_map);
    }

    // Raised by every change above; never the same after a change.
    unsigned Version() const { return m_version; }
    // The map itself, for the store, which keeps its copies in step.
    Map& Untracked() { return m_map; }

private:
    void Touch() { ++m_version; }

    Map m_map;
    unsigned m_version;
};
