// A second LZHUF encoder for the tests, written from the format's rules rather than from the coder: its own
// tree records and canonical position codes, so that an error in the coder's tables, tree handling, bit
// order or match choice shows as a difference in the bytes.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace ql::test {

class ReferenceLZH {
  public:
    static std::vector<std::uint8_t> Encode(const std::vector<std::uint8_t>& in) {
        ReferenceLZH c;
        return c.Run(in);
    }

    /// Code length and code (right-aligned) of the upper 6 bits of a match position: canonical, with
    /// 1 code of 3 bits, 3 of 4, 8 of 5, 12 of 6, 24 of 7 and 16 of 8, in increasing order of the value.
    static std::array<std::pair<int, unsigned>, 64> PositionCodes() {
        std::array<std::pair<int, unsigned>, 64> t{};
        const std::pair<int, int> groups[] = {{3, 1}, {4, 3}, {5, 8}, {6, 12}, {7, 24}, {8, 16}};
        unsigned code = 0;
        int value = 0, prevLen = 3;
        for (auto [length, count] : groups)
            for (int k = 0; k < count; ++k, ++value) {
                if (value > 0) code = (code + 1) << (length - prevLen);
                prevLen = length;
                t[value] = {length, code};
            }
        return t;
    }

  private:
    static constexpr int kRing = 4096, kLong = 60, kSymbols = 314, kNodes = 2 * kSymbols - 1,
                         kRoot = kNodes - 1;

    // ---- bits, most significant first
    std::vector<std::uint8_t> out;
    unsigned acc = 0;
    int pending = 0;
    void Put(unsigned bits, int count) {
        for (int i = count - 1; i >= 0; --i) {
            acc = acc << 1 | ((bits >> i) & 1u);
            if (++pending == 8) {
                out.push_back(static_cast<std::uint8_t>(acc));
                acc = 0;
                pending = 0;
            }
        }
    }

    // ---- adaptive code: node records in frequency order; a leaf's `kid` is -1 - symbol, an inner
    // node's is the position of its first child (the second follows it)
    struct Node {
        unsigned freq;
        int kid;
    };
    std::array<Node, kNodes + 1> node{};
    std::array<int, kNodes> up{};     // parent of the node at each position
    std::array<int, kSymbols> leaf{}; // position of each symbol's leaf

    void Link(int pos) {
        if (node[pos].kid < 0)
            leaf[-1 - node[pos].kid] = pos;
        else
            up[node[pos].kid] = up[node[pos].kid + 1] = pos;
    }
    void StartCode() {
        for (int s = 0; s < kSymbols; ++s)
            node[s] = {1, -1 - s};
        for (int j = 0; j < kSymbols - 1; ++j)
            node[kSymbols + j] = {node[2 * static_cast<std::size_t>(j)].freq +
                                      node[2 * static_cast<std::size_t>(j) + 1].freq,
                                  2 * j};
        node[kNodes] = {0xFFFF, 0}; // stops the search for a swap partner
        for (int p = 0; p < kNodes; ++p)
            Link(p);
    }
    void Rebuild() {
        std::vector<Node> leaves;
        for (int p = 0; p < kNodes; ++p)
            if (node[p].kid < 0) leaves.push_back({(node[p].freq + 1) / 2, node[p].kid});
        std::vector<Node> list(leaves);
        for (std::size_t i = 0; list.size() < kNodes; i += 2) {
            const Node joined{list[i].freq + list[i + 1].freq, static_cast<int>(i)};
            std::size_t at = list.size();
            while (at > 0 && list[at - 1].freq > joined.freq)
                --at;
            list.insert(list.begin() + static_cast<std::ptrdiff_t>(at), joined);
        }
        for (int p = 0; p < kNodes; ++p)
            node[p] = list[p];
        for (int p = 0; p < kNodes; ++p)
            Link(p);
    }
    void Count(int symbol) {
        if (node[kRoot].freq == 0x8000) Rebuild();
        int p = leaf[symbol];
        for (;;) {
            const unsigned f = ++node[p].freq;
            int last = p;
            while (node[last + 1].freq < f)
                ++last;
            if (last != p) {
                node[p].freq = node[last].freq;
                node[last].freq = f;
                std::swap(node[p].kid, node[last].kid);
                Link(p);
                Link(last);
                p = last;
            }
            if (p == kRoot) break;
            p = up[p];
        }
    }
    void Send(int symbol) {
        std::vector<int> path; // leaf-most first
        for (int p = leaf[symbol]; p != kRoot; p = up[p])
            path.push_back(p & 1);
        for (auto it = path.rbegin(); it != path.rend(); ++it)
            Put(static_cast<unsigned>(*it), 1);
        Count(symbol);
    }
    void SendPosition(int value) {
        static const auto codes = PositionCodes();
        const auto [length, code] = codes[value >> 6];
        Put(code, length);
        Put(static_cast<unsigned>(value & 63), 6);
    }

    // ---- window: one binary search tree of strings per first byte; a string is smaller than
    // another when, at the first of bytes 1..59 where they differ, its byte is smaller
    std::array<std::uint8_t, kRing + kLong - 1> text{}; // zero where nothing was put yet
    struct Branch {
        int left = -1, right = -1, parent = -1;
        bool in = false;
    };
    std::array<Branch, kRing> tree{};
    std::array<int, 256> top{};
    int matchLength = 0, matchPosition = 0;

    /// Puts `with` (or nothing, -1) where `p` hangs: under p's parent or at the top of its tree.
    void Replace(int p, int with) {
        Branch& b = tree[p];
        if (with >= 0) tree[with].parent = b.parent;
        if (b.parent < 0)
            top[text[p]] = with;
        else if (tree[b.parent].left == p)
            tree[b.parent].left = with;
        else
            tree[b.parent].right = with;
        b = Branch{};
    }
    void Adopt(int parent, int child, bool left) {
        (left ? tree[parent].left : tree[parent].right) = child;
        if (child >= 0) tree[child].parent = parent;
    }
    void Insert(int r) {
        matchLength = 0;
        tree[r] = Branch{-1, -1, -1, true};
        int p = top[text[r]];
        if (p < 0) {
            top[text[r]] = r;
            return;
        }
        for (;;) {
            int n = 1;
            while (n < kLong && text[r + n] == text[p + n])
                ++n;
            if (n > 2) {
                const int position = ((r - p) & (kRing - 1)) - 1;
                if (n > matchLength || (n == matchLength && position < matchPosition)) {
                    matchLength = n;
                    matchPosition = position;
                }
            }
            if (n == kLong) { // the same string, now newer: it takes the old one's place
                const Branch old = tree[p];
                Replace(p, r);
                Adopt(r, old.left, true);
                Adopt(r, old.right, false);
                return;
            }
            const bool right = text[r + n] >= text[p + n];
            const int next = right ? tree[p].right : tree[p].left;
            if (next < 0) {
                Adopt(p, r, !right);
                return;
            }
            p = next;
        }
    }
    void Delete(int p) {
        const Branch b = tree[p];
        if (!b.in) return;
        if (b.left < 0 || b.right < 0) {
            Replace(p, b.left >= 0 ? b.left : b.right);
            return;
        }
        int q = b.left; // the largest string smaller than p's takes its place
        while (tree[q].right >= 0)
            q = tree[q].right;
        if (q != b.left) {
            Adopt(tree[q].parent, tree[q].left, false);
            Adopt(q, b.left, true);
        }
        Adopt(q, b.right, false);
        Replace(p, q);
    }

    std::vector<std::uint8_t> Run(const std::vector<std::uint8_t>& in) {
        const auto size = static_cast<std::uint32_t>(in.size());
        for (int i = 0; i < 4; ++i)
            out.push_back(static_cast<std::uint8_t>(size >> (8 * i)));
        StartCode();
        top.fill(-1);
        int s = 0, r = kRing - kLong;
        for (int i = 0; i < r; ++i)
            text[i] = ' ';
        std::size_t next = 0;
        int ahead = 0;
        while (ahead < kLong && next < in.size())
            text[r + ahead++] = in[next++];
        for (int i = 1; i <= kLong; ++i)
            Insert(r - i);
        Insert(r);
        while (ahead > 0) {
            int length = std::min(matchLength, ahead);
            if (length <= 2) {
                length = 1;
                Send(text[r]);
            } else {
                Send(253 + length);
                SendPosition(matchPosition);
            }
            for (int k = 0; k < length; ++k) {
                Delete(s);
                if (next < in.size()) {
                    text[s] = in[next];
                    if (s < kLong - 1) text[s + kRing] = in[next];
                    ++next;
                    s = (s + 1) & (kRing - 1);
                    r = (r + 1) & (kRing - 1);
                    Insert(r);
                } else {
                    s = (s + 1) & (kRing - 1);
                    r = (r + 1) & (kRing - 1);
                    if (--ahead) Insert(r);
                }
            }
        }
        if (pending) Put(0, 8 - pending);
        return out;
    }
};

} // namespace ql::test
