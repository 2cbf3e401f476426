#include "TList.h"

void TList::PrependList(TList& other) {
  if (other.IsEmpty() || &other == this) return;
  other.tail->next = head;
  if (head) head->prev = other.tail;
  else tail = other.tail;
  head = other.head;
  count += other.count;
  other.Clear();
}

void TList::AppendList(TList& other) {
  if (other.IsEmpty() || &other == this) return;
  other.head->prev = tail;
  if (tail) tail->next = other.head;
  else head = other.head;
  tail = other.tail;
  count += other.count;
  other.Clear();
}

void TList::AddHead(TLink* link) {
  link->prev = nullptr;
  link->next = head;
  if (head) head->prev = link;
  else tail = link;
  head = link;
  ++count;
}

void TList::AddTail(TLink* link) {
  link->next = nullptr;
  link->prev = tail;
  if (tail) tail->next = link;
  else head = link;
  tail = link;
  ++count;
}

void TList::Remove(TLink* link) {
  if (!link) return;
  if (link == head) {
    head = link->next;
    if (head) head->prev = nullptr;
  } else if (link->prev) {
    link->prev->next = link->next;
  }
  if (link == tail) {
    tail = link->prev;
    if (tail) tail->next = nullptr;
  } else if (link->next) {
    link->next->prev = link->prev;
  }
  link->next = link->prev = nullptr;
  --count;
}

void TList::RemoveForward(TLink*& position) {
  TLink* link = position;
  if (!link) return;
  position = link->next;
  Remove(link);
}

void TList::RemoveBackward(TLink*& position) {
  TLink* link = position;
  if (!link) return;
  position = link->prev;
  Remove(link);
}

TLink* TList::RemoveHead() {
  TLink* link = head;
  if (link) Remove(link);
  return link;
}

TLink* TList::RemoveTail() {
  TLink* link = tail;
  if (link) Remove(link);
  return link;
}

void TList::RemoveAll() {
  while (RemoveHead()) {
  }
}

void TList::DeleteAll() {
  while (TLink* link = RemoveHead()) link->Release();
}
