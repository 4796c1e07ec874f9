// CReportList: the doubly linked list under requests, their value lists and
// every device queue. It either owns its elements (mode 0: destroying the
// list deletes them) or only links them (mode 1, the default). It is not
// synchronised; even the lookups move its cursors, so a shared list is only
// touched under the lock of the queue that holds it.
#pragma once

#include <new>

namespace trv {

template <class T>
class CReportList {
    struct Node {
        T* data;
        Node* next;
        Node* prev;
    };

public:
    CReportList() = default;
    CReportList(const CReportList&) = delete;
    CReportList& operator=(const CReportList&) = delete;
    ~CReportList() {
        if (mode == 1)
            EraseAll();
        else
            Clear();
    }

    void SetMode(int list_mode) { mode = list_mode; }
    int Count() const { return count; }

    void Add(T* in_data) {
        if (!in_data) return;
        Node* n = new (std::nothrow) Node{in_data, nullptr, tail};
        if (!n) return;
        if (tail) tail->next = n; else root = n;
        tail = n;
        ++count;
        unset();
    }

    void Push(T* in_data) {
        if (!in_data) return;
        Node* n = new (std::nothrow) Node{in_data, root, nullptr};
        if (!n) return;
        if (root) root->prev = n; else tail = n;
        root = n;
        ++count;
        unset();
    }

    // Element at a 0-based index, walking from the cached cursor so that runs
    // of neighbouring indices cost one step each.
    T* operator[](int index) {
        if (index < 0 || index >= count) {
            it = nullptr;
            seqidx = -1;
            return nullptr;
        }
        if (!it || seqidx < 0) {
            it = root;
            seqidx = 0;
        }
        while (seqidx < index) { it = it->next; ++seqidx; }
        while (seqidx > index) { it = it->prev; --seqidx; }
        return it->data;
    }

    T* First() {
        its = root;
        return its ? its->data : nullptr;
    }
    T* Next() {
        if (its) its = its->next;
        return its ? its->data : nullptr;
    }

    int IndexOf(const T* item) const {
        int i = 0;
        for (Node* n = root; n; n = n->next, ++i)
            if (n->data == item) return i;
        return -1;
    }

    void EraseDelete(T* item, bool eraseonly) {
        for (Node* n = root; n; n = n->next) {
            if (n->data == item) {
                unlink(n);
                if (!eraseonly) delete item;
                return;
            }
        }
    }
    void Erase(T* item) { EraseDelete(item, true); }
    void Erase(int index) {
        T* item = (*this)[index];
        if (item) Erase(item);
    }

    void ClearEraseAll(bool eraseonly) {
        Node* n = root;
        while (n) {
            Node* next = n->next;
            if (!eraseonly) delete n->data;
            delete n;
            n = next;
        }
        root = tail = nullptr;
        count = 0;
        unset();
    }
    void EraseAll() { ClearEraseAll(true); }
    void Clear() { ClearEraseAll(false); }

private:
    void unset() {
        it = nullptr;
        its = nullptr;
        seqidx = -1;
    }
    void unlink(Node* n) {
        if (n->prev) n->prev->next = n->next; else root = n->next;
        if (n->next) n->next->prev = n->prev; else tail = n->prev;
        delete n;
        --count;
        unset();
    }

    Node* root = nullptr;
    Node* tail = nullptr;
    Node* it = nullptr;
    Node* its = nullptr;
    int count = 0;
    int seqidx = -1;
    int mode = 1;
};

}  // namespace trv
