// Intrusive doubly linked list and the typed value list.
#pragma once
#include <cstdint>

#include "Base.h"

class TList;

class TLink : public TBase {
public:
  virtual TLink* GetNext() const { return next; }
  virtual TLink* GetPrev() const { return prev; }
  virtual bool HasPrev() const { return prev != nullptr; }

private:
  friend class TList;
  TLink* next = nullptr;
  TLink* prev = nullptr;
};

class TList : public TBase {
public:
  TList() = default;
  TList(const TList&) = delete;
  TList& operator=(const TList&) = delete;

  virtual void PrependList(TList& other);
  virtual void AddHead(TLink* link);
  virtual void AppendList(TList& other);
  virtual void AddTail(TLink* link);
  virtual void Remove(TLink* link);
  // Removes the link at position and moves position to its next link.
  virtual void RemoveForward(TLink*& position);
  // Removes the link at position and moves position to its previous link.
  virtual void RemoveBackward(TLink*& position);
  virtual TLink* RemoveHead();
  virtual TLink* RemoveTail();
  virtual void RemoveAll();
  virtual void DeleteAll();
  virtual bool IsEmpty() const { return count == 0; }
  virtual int32_t GetCount() const { return count; }
  virtual TLink* GetHead() const { return head; }
  virtual TLink* GetTail() const { return tail; }

private:
  void Clear() {
    head = tail = nullptr;
    count = 0;
  }
  TLink* head = nullptr;
  TLink* tail = nullptr;
  int32_t count = 0;
};

template <class T>
class ELink : public TLink {
public:
  explicit ELink(const T& v) : value(v) {}
  T value;
};

// Cursor over a list of ELink<T> nodes.
template <class T>
class EIterator {
public:
  EIterator() = default;
  explicit EIterator(const TList& list) : node(dynamic_cast<ELink<T>*>(list.GetHead())) {}

  const T& Value() const { return node->value; }
  T& Value() { return node->value; }
  void Next() { node = node ? dynamic_cast<ELink<T>*>(node->GetNext()) : nullptr; }
  bool AtEnd() const { return node == nullptr; }
  ELink<T>* Node() const { return node; }

  static void Append(TList& list, const T& value) { list.AddTail(new ELink<T>(value)); }

private:
  ELink<T>* node = nullptr;
};
