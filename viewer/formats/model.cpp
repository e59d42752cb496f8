// The model importer's scene as a cloud: a point cloud keeps every vertex; a
// mesh whose vertices the importer repeated once per face corner is folded
// back to one voxel per distinct vertex.
#include "viewer/formats/model.h"

#include <assimp/Importer.hpp>
#include <assimp/scene.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <malloc.h>
#include <new>
#include <unordered_set>
#include <vector>

namespace vv {
namespace {

struct VertexKey {
    std::uint32_t bits[6];
    bool operator==(const VertexKey &o) const {
        return std::memcmp(bits, o.bits, sizeof bits) == 0;
    }
};
struct VertexKeyHash {
    std::size_t operator()(const VertexKey &k) const {
        std::uint64_t h = 1469598103934665603ull;
        for (std::uint32_t b : k.bits)
            h = (h ^ b) * 1099511628211ull;
        return static_cast<std::size_t>(h);
    }
};

std::uint32_t float_bits(float f) {
    std::uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

// One use of a mesh in the scene: the mesh, the node's accumulated transform
// and the vertices that become voxels.
struct Instance {
    const aiMesh *mesh;
    aiMatrix4x4 transform;
    bool identity;
    bool folded = false; // only the vertices in keep become voxels
    std::vector<std::uint32_t> keep;
};

using SeenVertices = std::unordered_set<VertexKey, VertexKeyHash>;

void collect(const aiScene *scene, const aiNode *node, const aiMatrix4x4 &parent,
             std::vector<Instance> &out, int depth) {
    if (depth > 1000) // a cycle or absurd nesting: stop rather than overflow the stack
        return;
    const aiMatrix4x4 transform = parent * node->mTransformation;
    for (unsigned i = 0; i < node->mNumMeshes; ++i) {
        if (node->mMeshes[i] >= scene->mNumMeshes)
            continue;
        const aiMesh *mesh = scene->mMeshes[node->mMeshes[i]];
        if (mesh && mesh->mVertices && mesh->mNumVertices > 0)
            out.push_back({mesh, transform, transform.IsIdentity(), false, {}});
    }
    for (unsigned i = 0; i < node->mNumChildren; ++i)
        if (node->mChildren[i])
            collect(scene, node->mChildren[i], transform, out, depth + 1);
}

// Whether the faces use every vertex exactly once: the importer unrolled
// the mesh per corner, and equal vertices are really one vertex.
bool is_unrolled(const aiMesh *mesh) {
    if (mesh->mNumFaces == 0 || mesh->mPrimitiveTypes == aiPrimitiveType_POINT)
        return false;
    std::vector<bool> used(mesh->mNumVertices, false);
    std::size_t corners = 0;
    for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
        const aiFace &face = mesh->mFaces[f];
        for (unsigned k = 0; k < face.mNumIndices; ++k) {
            const unsigned v = face.mIndices[k];
            if (v >= mesh->mNumVertices || used[v])
                return false;
            used[v] = true;
            ++corners;
        }
    }
    return corners == mesh->mNumVertices;
}

aiVector3D position(const Instance &in, std::uint32_t i) {
    return in.identity ? in.mesh->mVertices[i] : in.transform * in.mesh->mVertices[i];
}

// Keeps the first vertex of an unrolled mesh at each distinct (position,
// colour) of the whole scene: an OBJ vertex shared by two groups, or an STL
// corner shared by many facets, is one voxel.
void fold(Instance &in, SeenVertices &seen) {
    const aiColor4D *colours = in.mesh->mColors[0];
    for (std::uint32_t i = 0; i < in.mesh->mNumVertices; ++i) {
        const aiVector3D p = position(in, i);
        VertexKey key{{float_bits(p.x), float_bits(p.y), float_bits(p.z), 0, 0, 0}};
        if (colours) {
            key.bits[3] = float_bits(colours[i].r);
            key.bits[4] = float_bits(colours[i].g);
            key.bits[5] = float_bits(colours[i].b);
        }
        if (seen.insert(key).second)
            in.keep.push_back(i);
    }
    in.folded = true;
}

template <typename F> void for_each_vertex(const Instance &in, F &&f) {
    const std::size_t n = in.folded ? in.keep.size() : in.mesh->mNumVertices;
    for (std::size_t k = 0; k < n; ++k) {
        const std::uint32_t i = in.folded ? in.keep[k] : static_cast<std::uint32_t>(k);
        f(i, position(in, i));
    }
}

float unit(float c) {
    return std::isfinite(c) ? std::clamp(c, 0.0f, 1.0f) : 0.0f;
}

bool finite(const aiVector3D &p) {
    return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

bool import_scene(const std::string &path, Cloud &cloud, std::string &error) {
    Assimp::Importer importer;
    // No post-processing: every step costs time and memory on a large cloud,
    // and none of them adds or keeps a vertex we need.
    const aiScene *scene = importer.ReadFile(path, 0);
    if (!scene) {
        const std::string why = importer.GetErrorString();
        if (why.find("No suitable reader") != std::string::npos)
            error = path + ": unknown format (no importer reads this kind of file)";
        else
            error = path + ": cannot be loaded: " + why;
        return false;
    }
    std::vector<Instance> instances;
    if (scene->mRootNode)
        collect(scene, scene->mRootNode, aiMatrix4x4(), instances, 0);

    Bounds bounds;
    std::size_t total = 0, skipped = 0;
    SeenVertices seen;
    for (Instance &in : instances) {
        if (is_unrolled(in.mesh))
            fold(in, seen);
        for_each_vertex(in, [&](std::uint32_t, const aiVector3D &p) {
            if (finite(p)) {
                bounds.add(p.x, p.y, p.z);
                ++total;
            } else {
                ++skipped;
            }
        });
    }
    if (!allocate_points(cloud, total, skipped, path, "vertices", error))
        return false;
    const Normaliser norm(bounds);
    cloud.unit = norm.unit();
    for (const Instance &in : instances) {
        const aiColor4D *colours = in.mesh->mColors[0];
        for_each_vertex(in, [&](std::uint32_t i, const aiVector3D &p) {
            if (!finite(p))
                return;
            VoxelNode &node = cloud.nodes[cloud.count++];
            norm.apply(p.x, p.y, p.z, node);
            if (colours) {
                node.r = unit(colours[i].r);
                node.g = unit(colours[i].g);
                node.b = unit(colours[i].b);
            } else {
                node.r = node.g = node.b = kNoColour;
            }
        });
    }
    cloud.skipped = skipped;
    return true;
}

} // namespace

bool read_model(const std::string &path, Cloud &cloud, std::string &error) {
    clear(cloud);
    bool ok;
    try {
        ok = import_scene(path, cloud, error);
    } catch (const std::bad_alloc &) {
        error = path + ": not enough memory to load it";
        ok = false;
    }
    if (!ok)
        clear(cloud);
    // The importer's file buffer and scene are gone; hand their pages back
    // so that what stays is the voxel block alone.
    malloc_trim(0);
    return ok;
}

} // namespace vv
