// A client-owned voxel table registered with the library for its lifetime.
// Header only: it calls set_liste_voxels, which a test links either from the
// library's objects or from libvorlix.so.
#ifndef VORLIX_TEST_VOXEL_TABLE_H
#define VORLIX_TEST_VOXEL_TABLE_H

#include "library_calls.h"
#include "vorlix.h"

#include <deque>
#include <vector>

namespace vt {

// One linked list per inner vector, an empty one a null head. Registered on
// construction, unregistered (null, 0) before its nodes go away.
class VoxelTable {
  public:
    explicit VoxelTable(const std::vector<std::vector<Voxel>> &lists) {
        for (const auto &list : lists) {
            VoxelNode *head = nullptr, *tail = nullptr;
            for (const Voxel &v : list) {
                nodes_.push_back(VoxelNode{v.x, v.y, v.z, v.r, v.g, v.b, nullptr});
                VoxelNode *n = &nodes_.back();
                (tail ? tail->next : head) = n;
                tail = n;
                in_order.push_back(v);
            }
            heads_.push_back(head);
        }
        set_liste_voxels(heads_.data(), static_cast<unsigned int>(heads_.size()));
    }
    ~VoxelTable() { set_liste_voxels(nullptr, 0); }
    VoxelTable(const VoxelTable &) = delete;
    VoxelTable &operator=(const VoxelTable &) = delete;

    std::vector<Voxel> in_order; // drawing order: list by list, head first
    // The nodes in drawing order, for tests that look at them directly.
    const std::deque<VoxelNode> &nodes() const { return nodes_; }

  private:
    std::deque<VoxelNode> nodes_; // stable addresses
    std::vector<VoxelNode *> heads_;
};

} // namespace vt

#endif
