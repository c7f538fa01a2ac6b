// Ordered int-keyed maps: red-black trees of collected nodes, with no removal.
//
// Template shape: the parameter is the value CLASS and nodes hold `V*` values.
//   c_IntMap<c_Glyph>        a c_Map<c_Glyph> of c_Node<c_Glyph>, keys ordered numerically
//   c_IntMap2<c_DisplayMode> a c_Map2<c_DisplayMode> of c_Node2<c_DisplayMode>
// c_Map::add keeps the value of a key that is already present; c_Map2::set replaces it (through
// the write barrier). Both also offer the other operation, plus get (value or null) and an
// in-order walk (firstNode, then nextNode on each node).
// Every reference store in insertion and rotation goes through GcField, i.e. the write barrier.
#pragma once

#include <cstdint>

#include "runtime/collector.h"

namespace redblack {

constexpr int kRed = -1;
constexpr int kBlack = 1;

template <class Node>
bool isRed(const Node* node) {
  return node != nullptr && node->colour == kRed;
}

template <class Node>
void rotateLeft(GcField<Node*>& root, Node* x) {
  Node* y = x->right;
  x->right = y->left.get();
  if (y->left != nullptr) y->left->parent = x;
  y->parent = x->parent.get();
  Node* former = x->parent;
  if (former == nullptr) {
    root = y;
  } else if (former->left == x) {
    former->left = y;
  } else {
    former->right = y;
  }
  y->left = x;
  x->parent = y;
}

template <class Node>
void rotateRight(GcField<Node*>& root, Node* x) {
  Node* y = x->left;
  x->left = y->right.get();
  if (y->right != nullptr) y->right->parent = x;
  y->parent = x->parent.get();
  Node* former = x->parent;
  if (former == nullptr) {
    root = y;
  } else if (former->right == x) {
    former->right = y;
  } else {
    former->left = y;
  }
  y->right = x;
  x->parent = y;
}

// Restores the red-black rules after x was linked in as a red leaf.
template <class Node>
void rebalance(GcField<Node*>& root, Node* x) {
  for (;;) {
    Node* p = x->parent;
    if (p == nullptr || p->colour != kRed || p->parent == nullptr) {
      root->colour = kBlack;
      return;
    }
    Node* g = p->parent;
    if (p == g->left) {
      Node* u = g->right;
      if (isRed(u)) {
        p->colour = kBlack;
        u->colour = kBlack;
        g->colour = kRed;
        x = g;
        continue;
      }
      if (x == p->right) {
        x = p;
        rotateLeft(root, x);
      }
      x->parent->colour = kBlack;
      x->parent->parent->colour = kRed;
      rotateRight(root, x->parent->parent.get());
    } else {
      Node* u = g->left;
      if (isRed(u)) {
        p->colour = kBlack;
        u->colour = kBlack;
        g->colour = kRed;
        x = g;
        continue;
      }
      if (x == p->left) {
        x = p;
        rotateRight(root, x);
      }
      x->parent->colour = kBlack;
      x->parent->parent->colour = kRed;
      rotateLeft(root, x->parent->parent.get());
    }
  }
}

template <class Node, class Map>
Node* find(Map& map, int key) {
  Node* node = map.root;
  while (node != nullptr) {
    int order = map.compare(key, node->key);
    if (order > 0) {
      node = node->right;
    } else if (order < 0) {
      node = node->left;
    } else {
      return node;
    }
  }
  return nullptr;
}

// Inserts (key, value) unless the key is present; returns the node that already held the key, or
// null when a new node was linked in.
template <class Node, class Map, class V>
Node* insert(Map& map, int key, V* value) {
  Node* parent = nullptr;
  int order = 0;
  for (Node* node = map.root; node != nullptr;) {
    parent = node;
    order = map.compare(key, node->key);
    if (order > 0) {
      node = node->right;
    } else if (order < 0) {
      node = node->left;
    } else {
      return node;
    }
  }
  Node* node = new Node(key, value, kRed, parent);
  if (parent == nullptr) {
    // The first node stays red until the next insertion's rebalancing colours the root black.
    map.root = node;
    return nullptr;
  }
  if (order < 0) {
    parent->left = node;
  } else {
    parent->right = node;
  }
  rebalance(map.root, node);
  return nullptr;
}

template <class Node>
Node* leftmost(Node* node) {
  if (node == nullptr) return nullptr;
  while (node->left != nullptr) node = node->left;
  return node;
}

template <class Node>
Node* successor(Node* node) {
  if (node->right != nullptr) return leftmost<Node>(node->right);
  Node* parent = node->parent;
  while (parent != nullptr && node == parent->right) {
    node = parent;
    parent = parent->parent;
  }
  return parent;
}

// Key order of the int maps: the sign of a - b. A wrapping 32-bit difference would order keys
// more than 2^31 apart the wrong way round and make the tree lose them.
inline int compareInts(int a, int b) {
  int64_t difference = static_cast<int64_t>(a) - b;
  if (difference > INT32_MAX) return INT32_MAX;
  if (difference < INT32_MIN) return INT32_MIN;
  return static_cast<int>(difference);
}

}  // namespace redblack

template <class V>
class c_Node : public Object {
 public:
  int key;
  GcField<c_Node*> right;
  GcField<c_Node*> left;
  GcField<V*> value;
  int colour;
  GcField<c_Node*> parent;

  c_Node(int key, V* value, int colour, c_Node* parent) : key(key), colour(colour) {
    this->value = value;
    this->parent = parent;
  }
  void mark() override {
    right.mark();
    left.mark();
    value.mark();
    parent.mark();
  }
  // The node with the next larger key, or null.
  c_Node* nextNode() { return redblack::successor(this); }
};

template <class V>
class c_Node2 : public Object {
 public:
  int key;
  GcField<c_Node2*> right;
  GcField<c_Node2*> left;
  GcField<V*> value;
  int colour;
  GcField<c_Node2*> parent;

  c_Node2(int key, V* value, int colour, c_Node2* parent) : key(key), colour(colour) {
    this->value = value;
    this->parent = parent;
  }
  void mark() override {
    right.mark();
    left.mark();
    value.mark();
    parent.mark();
  }
  c_Node2* nextNode() { return redblack::successor(this); }
};

template <class V>
class c_Map : public Object {
 public:
  using Node = c_Node<V>;
  GcField<Node*> root;

  using Object::compare;
  virtual int compare(int a, int b) = 0;

  Node* find(int key) { return redblack::find<Node>(*this, key); }
  bool contains(int key) { return find(key) != nullptr; }
  // An existing key keeps its value: false. Otherwise the pair is inserted: true.
  bool add(int key, V* value) { return redblack::insert<Node>(*this, key, value) == nullptr; }
  // An existing key gets the new value: false. Otherwise the pair is inserted: true.
  bool set(int key, V* value) {
    Node* existing = redblack::insert<Node>(*this, key, value);
    if (existing == nullptr) return true;
    existing->value = value;
    return false;
  }
  V* get(int key) {
    Node* node = find(key);
    return node != nullptr ? node->value.get() : nullptr;
  }
  Node* firstNode() { return redblack::leftmost<Node>(root); }
  void mark() override { root.mark(); }
};

template <class V>
class c_Map2 : public Object {
 public:
  using Node = c_Node2<V>;
  GcField<Node*> root;

  using Object::compare;
  virtual int compare(int a, int b) = 0;

  Node* find(int key) { return redblack::find<Node>(*this, key); }
  bool contains(int key) { return find(key) != nullptr; }
  // An existing key gets the new value: false. Otherwise the pair is inserted: true.
  bool set(int key, V* value) {
    Node* existing = redblack::insert<Node>(*this, key, value);
    if (existing == nullptr) return true;
    existing->value = value;
    return false;
  }
  // An existing key keeps its value: false. Otherwise the pair is inserted: true.
  bool add(int key, V* value) { return redblack::insert<Node>(*this, key, value) == nullptr; }
  V* get(int key) {
    Node* node = find(key);
    return node != nullptr ? node->value.get() : nullptr;
  }
  Node* firstNode() { return redblack::leftmost<Node>(root); }
  void mark() override { root.mark(); }
};

template <class V>
class c_IntMap : public c_Map<V> {
 public:
  using c_Map<V>::compare;
  int compare(int a, int b) override { return redblack::compareInts(a, b); }
};

template <class V>
class c_IntMap2 : public c_Map2<V> {
 public:
  using c_Map2<V>::compare;
  int compare(int a, int b) override { return redblack::compareInts(a, b); }
};
