#include "platform/OctreeQuantizer.h"

#include "platform/ImageMemory.h"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <unordered_map>

namespace platform {

namespace {

constexpr int kDepth = 8;  // leaves at level 8 hold exact colours

struct Node {
    std::array<int32_t, 8> children {-1, -1, -1, -1, -1, -1, -1, -1};
    uint64_t pixels = 0;  // in the whole subtree
    uint64_t count = 0;   // a leaf's pixels, with the sums of their channels
    uint64_t red = 0;
    uint64_t green = 0;
    uint64_t blue = 0;
    int paletteIndex = -1;
    bool leaf = false;
};

int childIndex(QRgb c, int level)
{
    const int shift = 7 - level;
    return (((qRed(c) >> shift) & 1) << 2) | (((qGreen(c) >> shift) & 1) << 1) | ((qBlue(c) >> shift) & 1);
}

// Colours are added to a tree whose leaves at level 8 are exact colours.
// While colours are added the tree is kept below kWorkingLeaves leaves, so
// that memory stays bounded and the order of the pixels matters little;
// finish() then merges the smallest deepest nodes until maxColors remain.
constexpr int kWorkingLeaves = 4096;

class Octree {
public:
    Octree() { nodes_.emplace_back(); }

    void add(QRgb c)
    {
        int node = 0;
        for (int level = 0;; ++level) {
            nodes_[size_t(node)].pixels += 1;
            if (nodes_[size_t(node)].leaf) {
                Node& n = nodes_[size_t(node)];
                n.count += 1;
                n.red += uint64_t(qRed(c));
                n.green += uint64_t(qGreen(c));
                n.blue += uint64_t(qBlue(c));
                break;
            }
            const int child = childIndex(c, level);
            int next = nodes_[size_t(node)].children[size_t(child)];
            if (next < 0) {
                next = allocate(level + 1);
                nodes_[size_t(node)].children[size_t(child)] = next;
            }
            node = next;
        }
        while (leaves_ > kWorkingLeaves)
            reduce();
    }

    void finish(int maxColors)
    {
        while (leaves_ > maxColors)
            reduce();
    }

    bool reduced() const { return reduced_; }

    QList<QRgb> palette()
    {
        QList<QRgb> colours;
        for (Node& n : nodes_) {
            if (!n.leaf || n.count == 0)
                continue;
            n.paletteIndex = static_cast<int>(colours.size());
            const uint64_t half = n.count / 2;
            colours << qRgb(int((n.red + half) / n.count), int((n.green + half) / n.count),
                            int((n.blue + half) / n.count));
        }
        return colours;
    }

    // Palette index of a colour that was added.
    int indexOf(QRgb c) const
    {
        int node = 0;
        for (int level = 0; !nodes_[size_t(node)].leaf; ++level)
            node = nodes_[size_t(node)].children[size_t(childIndex(c, level))];
        return nodes_[size_t(node)].paletteIndex;
    }

private:
    int allocate(int level)
    {
        int index;
        if (!free_.empty()) {
            index = free_.back();
            free_.pop_back();
            nodes_[size_t(index)] = Node {};
        } else {
            index = static_cast<int>(nodes_.size());
            nodes_.emplace_back();
        }
        if (level >= leafLevel_) {
            nodes_[size_t(index)].leaf = true;
            ++leaves_;
        } else {
            reducible_[size_t(level)].push_back(index);
        }
        return index;
    }

    // Merges into their parent the leaves of the node with the fewest
    // pixels on the deepest level that has inner nodes.
    void reduce()
    {
        int level = kDepth - 1;
        while (level > 0 && reducible_[size_t(level)].empty())
            --level;
        std::vector<int>& candidates = reducible_[size_t(level)];
        if (candidates.empty())
            throw std::logic_error("octree cannot be reduced");
        size_t pick = 0;
        for (size_t i = 1; i < candidates.size(); ++i)
            if (nodes_[size_t(candidates[i])].pixels < nodes_[size_t(candidates[pick])].pixels)
                pick = i;
        const int index = candidates[pick];
        candidates[pick] = candidates.back();
        candidates.pop_back();
        Node& n = nodes_[size_t(index)];
        int merged = 0;
        for (int32_t& child : n.children) {
            if (child < 0)
                continue;
            const Node& c = nodes_[size_t(child)];
            n.count += c.count;
            n.red += c.red;
            n.green += c.green;
            n.blue += c.blue;
            free_.push_back(child);
            nodes_[size_t(child)] = Node {};  // no longer a leaf of the palette
            child = -1;
            ++merged;
        }
        n.leaf = true;
        leaves_ -= merged - 1;
        // Colours that arrive later stop where the tree was cut.
        leafLevel_ = std::min(leafLevel_, level + 1);
        reduced_ = true;
    }

    int leafLevel_ = kDepth;
    int leaves_ = 0;
    bool reduced_ = false;
    std::vector<Node> nodes_;
    std::vector<int> free_;
    std::array<std::vector<int>, kDepth> reducible_;
};

int clampByte(int v) { return v < 0 ? 0 : v > 255 ? 255 : v; }

class NearestColour {
public:
    explicit NearestColour(const QList<QRgb>& palette) : palette_(palette) {}

    uint8_t operator()(int r, int g, int b)
    {
        const uint32_t key = uint32_t(r << 16 | g << 8 | b);
        auto found = cache_.find(key);
        if (found != cache_.end())
            return found->second;
        int best = 0;
        int bestDistance = INT32_MAX;
        for (int i = 0; i < palette_.size() && bestDistance > 0; ++i) {
            const int dr = qRed(palette_[i]) - r;
            const int dg = qGreen(palette_[i]) - g;
            const int db = qBlue(palette_[i]) - b;
            const int distance = dr * dr + dg * dg + db * db;
            if (distance < bestDistance) {
                bestDistance = distance;
                best = i;
            }
        }
        cache_.emplace(key, uint8_t(best));
        return uint8_t(best);
    }

private:
    const QList<QRgb>& palette_;
    std::unordered_map<uint32_t, uint8_t> cache_;
};

}  // namespace

QuantizedImage quantizeOctree(const QImage& image, int maxColors)
{
    if (maxColors < 8 || maxColors > 256)
        throw std::invalid_argument("quantizeOctree: between 8 and 256 colours");
    const QImage rgb = converted(image, QImage::Format_RGB32);
    QuantizedImage out;
    out.width = rgb.width();
    out.height = rgb.height();
    out.indices.resize(size_t(out.width) * size_t(out.height));

    Octree tree;
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x)
            tree.add(row[x]);
    }
    tree.finish(maxColors);
    out.palette = tree.palette();
    out.exact = !tree.reduced();

    if (out.exact) {
        for (int y = 0; y < rgb.height(); ++y) {
            const auto* row = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
            for (int x = 0; x < rgb.width(); ++x)
                out.indices[size_t(y) * size_t(out.width) + size_t(x)] = uint8_t(tree.indexOf(row[x]));
        }
        return out;
    }

    // Floyd-Steinberg: errors in sixteenths, this row and the next, with a
    // guard column on each side.
    NearestColour nearest(out.palette);
    const size_t span = size_t(out.width) + 2;
    std::vector<int> current(span * 3, 0), next(span * 3, 0);
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        std::fill(next.begin(), next.end(), 0);
        for (int x = 0; x < rgb.width(); ++x) {
            int* e = &current[(size_t(x) + 1) * 3];
            const int want[3] = {clampByte(qRed(row[x]) + e[0] / 16), clampByte(qGreen(row[x]) + e[1] / 16),
                                 clampByte(qBlue(row[x]) + e[2] / 16)};
            const uint8_t index = nearest(want[0], want[1], want[2]);
            out.indices[size_t(y) * size_t(out.width) + size_t(x)] = index;
            const QRgb got = out.palette[index];
            const int error[3] = {want[0] - qRed(got), want[1] - qGreen(got), want[2] - qBlue(got)};
            for (int k = 0; k < 3; ++k) {
                current[(size_t(x) + 2) * 3 + size_t(k)] += error[k] * 7;
                next[size_t(x) * 3 + size_t(k)] += error[k] * 3;
                next[(size_t(x) + 1) * 3 + size_t(k)] += error[k] * 5;
                next[(size_t(x) + 2) * 3 + size_t(k)] += error[k];
            }
        }
        std::swap(current, next);
    }
    return out;
}

}  // namespace platform
