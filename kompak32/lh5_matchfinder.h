// The match finder of the -lh5- encoder: a path-compressed suffix tree (PATRICIA tree) over the
// last 8,192 input positions whose child lists are found by hashing. Shared by the encoder's
// sequential driver and its parallel match search; everything here is inline.
#pragma once
#include <cstdint>
#include <cstring>

#include "lh5_encoder.h"

namespace matchfinder {

// Node numbers: 0 is "none" (and the FindChild sentinel), 1-8,191 internal nodes,
// 8,192 + b the root of strings beginning with byte b, 8,192-16,383 leaves (a leaf is the
// text position of its string). Roots are only parents and leaves only children, so the
// shared range is unambiguous. Child lists hang off hash slots 16,384-65,535.
constexpr int ROOT_BASE = WINDOW_SIZE;                         // 8,192
constexpr int NODE_COUNT = 2 * WINDOW_SIZE;                    // 16,384
constexpr int INTERNAL_COUNT = WINDOW_SIZE + 256;              // internal nodes and roots
constexpr int SLOT_BASE = NODE_COUNT;                          // 16,384
constexpr int SLOT_COUNT = 49152;                              // all the 16-bit range leaves
constexpr int NEXT_COUNT = SLOT_BASE + SLOT_COUNT;             // 65,536: fits 16-bit links
constexpr int TEXT_SIZE = 2 * WINDOW_SIZE + MAX_MATCH;         // 16,640
constexpr int FIRST_READ = WINDOW_SIZE + MAX_MATCH;            // 8,448
constexpr int SHORT_CLIMB = 10; // ancestors SetPositionUpward sets without the climb chain
constexpr int BRANCHLESS_CLIMB = 6; // of those, the ones set with no test-and-branch
constexpr int TEXT_PADDING = 8; // zeros behind the text for MatchLength's 8-byte reads

// A stored position >= curPos lies in the previous half of the window and stands for that
// value minus 8,192; stored positions are always 8,192-16,383.
struct MatchFinder {
    uint8_t textBuffer[TEXT_SIZE + TEXT_PADDING];
    // The fields of an internal node (or root) side by side: a visit that reads the depth
    // usually reads the position or child count too, and then finds them in one place.
    // nodeUp repeats the parent link of an internal node for the climbs, which set or read
    // the position or depth of each node they pass; a root is its own nodeUp, so a climb
    // that reaches it stays there.
    struct NodeInfo {
        uint16_t nodePosition;   // newest position through the node (internal nodes only)
        uint8_t nodeLevel;       // string depth; 1 for roots
        uint8_t nodeChildCount;  // 8-bit counter: 256 children wrap to 0 harmlessly
        uint16_t nodeUp;         // = link[t].parent for internal nodes, t for roots
        uint16_t nodeSlots;      // SlotsOf(t): a child lookup finds it beside the depth
    };
    NodeInfo node[INTERNAL_COUNT];
    // nodeNext (child lists, slot heads, the free-node chain, forwarding of replaced leaves)
    // and nodeParent (0 = not in the tree; unused for slots) side by side, so that a walk
    // along a child list or up the tree reads one place per step.
    struct Link {
        uint16_t next;
        uint16_t parent;
    };
    Link link[NEXT_COUNT];
    uint16_t nodePrev[NODE_COUNT];          // may hold a hash slot number
    int freeNode;
    int curPos, bestPos, bestLen, bytesAhead;

    // A chain of internal nodes from a child of a root downward (climbPath[i + 1] is a
    // child of climbPath[i]), the path of the last long climb: inside long matches the next
    // climb runs up the same nodes, which are then found here instead of by chasing parent
    // links. pathIndex[t] is t's index when t is on the chain.
    uint16_t climbPath[MAX_MATCH];
    int climbLength;
    uint8_t pathIndex[WINDOW_SIZE];
    // A long climb sets the position of the whole chain at once: while it is pending, every
    // node on the chain has the position climbPosition, and its own nodePosition is out of
    // date. The position is written out to a node when it leaves the chain, and to all of
    // them before a walk down from a root, which reads them (SettleClimbPath).
    // pendingRoot is the root above the chain while its position is pending, 0 otherwise.
    int pendingRoot;
    int climbPosition;

    InputReadFn read; // fills the text buffer: the first 8,448 bytes and each slide
    void *readContext;
};

// The slot whose list holds the child of q for byte c. A list may also hold children of
// other parents; FindChild tells them apart by their parent link. For one q, the 256 bytes
// get 256 different slots, so a list holds at most one child of each parent and the hash
// decides only how long the walks are, never which child is found. A multiplicative hash
// of q spreads the parents' ranges over three times as many slots as there are nodes:
// shorter walks than the plain q + 16 * c, whose lists for frequent byte pairs grew long.
// The 256 slots of q start at h(q) in 0..48,895, so they end inside the table without
// wrapping around (no compare and subtract per lookup). h depends on q alone, so each node
// record keeps its value (nodeSlots) and lookups need no multiplications.
inline int SlotsOf(int q) {
    uint32_t h = static_cast<uint32_t>(
        (static_cast<uint64_t>(static_cast<uint32_t>(q) * 0x9E3779B1u) * (SLOT_COUNT - 255)) >> 32);
    return SLOT_BASE + static_cast<int>(h);
}

inline int Slot(const MatchFinder &m, int q, int c) {
    return m.node[q].nodeSlots + c;
}

// AdvancePosition and the procedures it calls run once per input byte. They are forced
// inline ([[gnu::always_inline]]) into the compression driver: as calls, saving and
// restoring registers cost more than some of them do.

inline bool OnClimbPath(const MatchFinder &m, int t) {
    // Both tests without a branch between them (climbPath has room for any index).
    int i = m.pathIndex[t];
    return (i < m.climbLength) & (m.climbPath[i] == t);
}

// The chain keeps its first `length` nodes; the others leave it with their position.
inline void ShortenClimbPath(MatchFinder &m, int length) {
    if (m.pendingRoot != 0) {
        for (int i = length; i < m.climbLength; ++i)
            m.node[m.climbPath[i]].nodePosition = static_cast<uint16_t>(m.climbPosition);
    }
    m.climbLength = length;
}

// Writes a pending chain position out to the chain's nodes.
inline void SettleClimbPath(MatchFinder &m) {
    if (m.pendingRoot != 0) {
        for (int i = 0; i < m.climbLength; ++i)
            m.node[m.climbPath[i]].nodePosition = static_cast<uint16_t>(m.climbPosition);
        m.pendingRoot = 0;
    }
}

// Internal node t gets a new parent or leaves the tree: the chain ends above it.
inline void CutClimbPath(MatchFinder &m, int t) {
    if (OnClimbPath(m, t))
        ShortenClimbPath(m, m.pathIndex[t]);
}

// The deepest node on the chain among q and its ancestors, climbing from q no further than
// `stop`, which it returns when no node below it is on the chain.
inline int DeepestOnClimbPath(const MatchFinder &m, int q, int stop) {
    int t = q;
    while (t != stop && !OnClimbPath(m, t))
        t = m.node[t].nodeUp;
    return t;
}

inline int FindChild(MatchFinder &m, int q, int c) {
    int r = m.link[Slot(m, q, c)].next;
    m.link[0].parent = static_cast<uint16_t>(q); // sentinel: the walk stops at 0 at the latest
    while (m.link[r].parent != q)
        r = m.link[r].next;
    return r;
}

inline void LinkChild(MatchFinder &m, int q, int c, int r) {
    int slot = Slot(m, q, c);
    int head = m.link[slot].next;
    m.link[slot].next = static_cast<uint16_t>(r);
    m.nodePrev[r] = static_cast<uint16_t>(slot);
    m.link[r].next = static_cast<uint16_t>(head);
    m.nodePrev[head] = static_cast<uint16_t>(r);
    m.link[r].parent = static_cast<uint16_t>(q);
    ++m.node[q].nodeChildCount;
}

// Puts node `to` where `from` stands in its child list (parent links are the caller's).
inline void ReplaceInList(MatchFinder &m, int from, int to) {
    int prev = m.nodePrev[from];
    int next = m.link[from].next;
    m.link[prev].next = static_cast<uint16_t>(to);
    m.nodePrev[next] = static_cast<uint16_t>(to);
    m.nodePrev[to] = static_cast<uint16_t>(prev);
    m.link[to].next = static_cast<uint16_t>(next);
}

inline void Unlink(MatchFinder &m, int r) {
    int prev = m.nodePrev[r];
    int next = m.link[r].next;
    m.link[prev].next = static_cast<uint16_t>(next);
    m.nodePrev[next] = static_cast<uint16_t>(prev);
}

// Inserts an internal node above `old` at depth bestLen, where the string at curPos leaves
// the one at bestPos.
[[gnu::always_inline]] inline void SplitNode(MatchFinder &m, int old) {
    if (old < ROOT_BASE)
        CutClimbPath(m, old); // old gets a new parent
    int n = m.freeNode;
    m.freeNode = m.link[n].next;
    m.node[n].nodeChildCount = 0;
    ReplaceInList(m, old, n);
    m.link[n].parent = m.link[old].parent;
    m.node[n].nodeUp = m.link[old].parent;
    m.node[n].nodeLevel = static_cast<uint8_t>(m.bestLen);
    m.node[n].nodePosition = static_cast<uint16_t>(m.curPos);
    m.node[old < ROOT_BASE ? old : 0].nodeUp = static_cast<uint16_t>(n); // a leaf: entry 0
    LinkChild(m, n, m.textBuffer[m.bestPos + m.bestLen], old);
    LinkChild(m, n, m.textBuffer[m.curPos + m.bestLen], m.curPos);
}

// Sets nodePosition = curPos for node q and all its internal ancestors. Most nodes have
// only a few ancestors: up to SHORT_CLIMB of them are set straight from the parent links,
// with no bookkeeping. The first BRANCHLESS_CLIMB steps run unconditionally and stay put
// once they reach the root, its own nodeUp (its nodePosition is never read): the number
// of ancestors varies from byte to byte, and a loop exit there was a frequently
// mispredicted branch.
// Above those (deep trees, as in long runs of one byte) it climbs only until it meets the
// chain of the last such climb, which it then keeps above that node, and sets the
// positions of all the chain's nodes at once (pendingRoot).
//
// The chain may also reach down into the nodes set one by one. When its position is
// pending, the chain's nodes below those then leave it with the pending position, and the
// chain ends at the deepest of them, whose position is now curPos like that of every
// node above it.
[[gnu::always_inline]] inline void SetPositionUpward(MatchFinder &m, int q) {
    const uint16_t pos = static_cast<uint16_t>(m.curPos);
    int t = q;
    for (int k = 0; k < BRANCHLESS_CLIMB; ++k) {
        m.node[t].nodePosition = pos;
        t = m.node[t].nodeUp;
    }
    int below = 0; // the last node set one by one
    for (int k = BRANCHLESS_CLIMB; k < SHORT_CLIMB; ++k) {
        if (t >= ROOT_BASE) {
            // Root t: a chain that starts under it may share nodes with those just set.
            if (m.pendingRoot == t) {
                int deepest = DeepestOnClimbPath(m, q, t);
                if (deepest != t) {
                    ShortenClimbPath(m, m.pathIndex[deepest] + 1);
                    m.climbPosition = pos;
                }
            }
            return;
        }
        m.node[t].nodePosition = pos;
        below = t;
        t = m.node[t].nodeUp;
    }
    uint16_t fresh[MAX_MATCH]; // levels rise strictly upward: at most 254 internal ancestors
    int n = 0;
    while (t < ROOT_BASE && !OnClimbPath(m, t)) {
        fresh[n++] = static_cast<uint16_t>(t);
        t = m.node[t].nodeUp;
    }
    int length = t < ROOT_BASE ? m.pathIndex[t] + 1 : 0;
    // The chain's nodes from `length` on leave it. Those that were just set, when it went on
    // down through `below`, keep curPos; the others get the pending position.
    int keep = length;
    if (m.pendingRoot != 0 && keep < m.climbLength && m.climbPath[keep] == below)
        keep = m.pathIndex[DeepestOnClimbPath(m, q, below)] + 1;
    ShortenClimbPath(m, keep);
    while (n > 0) {
        int node = fresh[--n];
        m.pathIndex[node] = static_cast<uint8_t>(length);
        m.climbPath[length++] = static_cast<uint16_t>(node);
    }
    m.climbLength = length;
    m.climbPosition = pos;
    m.pendingRoot = length > 0 ? m.link[m.climbPath[0]].parent : 0;
}

// Length of the common prefix of a and b, counting on from len (whose bytes before it are
// known to agree), at most limit. Compares eight bytes at a time: the first differing byte
// of two little-endian words is the lowest set byte of their XOR. May read up to 7 bytes
// past a + limit and b + limit (the text buffer's padding).
inline int MatchLength(const uint8_t *a, const uint8_t *b, int len, int limit) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    while (len < limit) {
        uint64_t x, y;
        std::memcpy(&x, a + len, sizeof x);
        std::memcpy(&y, b + len, sizeof y);
        if (uint64_t diff = x ^ y) {
            len += __builtin_ctzll(diff) >> 3;
            return len < limit ? len : limit;
        }
        len += 8;
    }
    return limit;
#else
    while (len < limit && a[len] == b[len])
        ++len;
    return len;
#endif
}

// Finds the longest earlier match for the string at curPos (bestPos, bestLen) and enters
// curPos as a leaf. Keeps curPos, bestLen and bestPos in locals: stores to the 8-bit
// arrays would otherwise force the compiler to reload them from the record after each.
[[gnu::always_inline]] inline void InsertPosition(MatchFinder &m) {
    const uint8_t *text = m.textBuffer;
    const int curPos = m.curPos;
    int bestLen = m.bestLen;
    int bestPos = m.bestPos;
    int q, r;
    if (bestLen >= 4) {
        // Continue from the previous match: the string after its first byte is known to
        // match bestLen - 1 bytes, so start at that leaf and climb instead of descending.
        --bestLen;
        r = (bestPos + 1) | ROOT_BASE;
        while (m.link[r].parent == 0)
            r = m.link[r].next; // a leaf replaced by a full-length match forwards to its successor
        q = m.link[r].parent;
        while (m.node[q].nodeLevel >= bestLen) {
            r = q;
            q = m.node[q].nodeUp;
        }
        if (q == m.pendingRoot)
            SettleClimbPath(m); // the walk down from root q may read the chain's positions
        SetPositionUpward(m, q);
    } else {
        SettleClimbPath(m); // the walk down reads the positions of the chain's nodes
        q = ROOT_BASE + text[curPos];
        int c = text[curPos + 1];
        r = FindChild(m, q, c);
        if (r == 0) {
            LinkChild(m, q, c, curPos);
            m.bestLen = 1;
            return;
        }
        bestLen = 2;
    }

    for (;;) {
        // A leaf is its own position, with room for a full match; an internal node has its
        // depth and newest position. Selected without branches (which of the two comes up is
        // data, and so is which half of the window the position lies in): a leaf reads the
        // unused entry 0 instead.
        const bool leaf = r >= ROOT_BASE;
        const MatchFinder::NodeInfo info = m.node[leaf ? 0 : r];
        int j = leaf ? MAX_MATCH : info.nodeLevel;
        bestPos = leaf ? r : (info.nodePosition & 0x7FFF);
        bestPos -= WINDOW_SIZE & -static_cast<int>(bestPos >= curPos);
        bestLen = MatchLength(text + curPos, text + bestPos, bestLen, j);
        if (bestLen < j) {
            m.bestLen = bestLen;
            m.bestPos = bestPos;
            SplitNode(m, r);
            return;
        }
        if (bestLen >= MAX_MATCH)
            break;
        m.node[r].nodePosition = static_cast<uint16_t>(curPos);
        q = r;
        int c = text[curPos + bestLen];
        r = FindChild(m, q, c);
        if (r == 0) {
            m.bestLen = bestLen;
            m.bestPos = bestPos;
            LinkChild(m, q, c, curPos);
            return;
        }
        ++bestLen;
    }
    m.bestLen = bestLen;
    m.bestPos = bestPos;

    // A full-length match: curPos takes the place of leaf r, which forwards to it.
    ReplaceInList(m, r, curPos);
    m.link[curPos].parent = static_cast<uint16_t>(q);
    m.link[r].parent = 0;
    m.link[r].next = static_cast<uint16_t>(curPos);
}

// Drops the leaf about to leave the window (it has the number curPos), and its parent when
// that is left with a single child.
[[gnu::always_inline]] inline void RemovePosition(MatchFinder &m) {
    int leaf = m.curPos;
    if (m.link[leaf].parent == 0)
        return;
    Unlink(m, leaf);
    int r = m.link[leaf].parent;
    m.link[leaf].parent = 0;
    // A root counts its children as well (and never uses the count), so that one branch,
    // whose outcome the data decides, tells whether r stays.
    int left = --m.node[r].nodeChildCount;
    if ((left > 1) | (r >= ROOT_BASE))
        return;
    CutClimbPath(m, r); // first, so that r's own nodePosition is up to date
    int t = m.node[r].nodePosition;
    if (t >= m.curPos)
        t -= WINDOW_SIZE;
    int s = FindChild(m, r, m.textBuffer[t + m.node[r].nodeLevel]);
    Unlink(m, s);
    ReplaceInList(m, r, s);
    m.link[s].parent = m.link[r].parent;
    // s is a leaf or an internal node, as the data goes: a leaf writes the unused entry 0.
    m.node[s < ROOT_BASE ? s : 0].nodeUp = m.link[r].parent;
    m.link[r].parent = 0;
    m.link[r].next = static_cast<uint16_t>(m.freeNode);
    m.freeNode = r;
}

[[gnu::always_inline]] inline void AdvancePosition(MatchFinder &m) {
    --m.bytesAhead;
    if (++m.curPos == NODE_COUNT) {
        // Slide: the last 8,192 coded bytes and the 256 look-ahead bytes move to the front;
        // bytes past what this read delivers keep their previous contents.
        std::memmove(m.textBuffer, m.textBuffer + WINDOW_SIZE, FIRST_READ);
        m.bytesAhead += static_cast<int>(m.read(m.readContext, m.textBuffer + FIRST_READ, WINDOW_SIZE));
        m.curPos = WINDOW_SIZE;
    }
    // Inside a match the insertion starts at the leaf after the previous match's position,
    // which is then rarely in the first-level cache: fetch it while the oldest leaf goes.
    __builtin_prefetch(&m.link[(m.bestPos + 1) | ROOT_BASE]);
    RemovePosition(m);
    InsertPosition(m);
}

// Reads the first 8,448 bytes of the input into the text buffer (an initialised finder's)
// and enters the first position.
inline void StartMatchFinder(MatchFinder &m) {
    m.bytesAhead = static_cast<int>(m.read(m.readContext, m.textBuffer + WINDOW_SIZE, FIRST_READ));
    m.bestLen = 0;
    m.bestPos = 0;
    m.curPos = WINDOW_SIZE;
    InsertPosition(m);
}

inline void ClampBestLen(MatchFinder &m) {
    if (m.bestLen > m.bytesAhead)
        m.bestLen = m.bytesAhead;
}

// Sets up an empty tree, whether the finder is new (its memory as allocated) or was used
// before. The text buffer starts zero-filled: bytes beyond the data read take part in
// comparisons near the end, and must be the same from run to run.
inline void InitMatchFinder(MatchFinder &m) {
    std::memset(m.textBuffer, 0, sizeof m.textBuffer);
    std::memset(m.node, 0, sizeof m.node);
    std::memset(m.pathIndex, 0, sizeof m.pathIndex);
    for (int i = 1; i < INTERNAL_COUNT; ++i)
        m.node[i].nodeSlots = static_cast<uint16_t>(SlotsOf(i));
    for (int i = ROOT_BASE; i < INTERNAL_COUNT; ++i) {
        m.node[i].nodeLevel = 1;
        m.node[i].nodeUp = static_cast<uint16_t>(i);
    }
    // No leaf in the tree, every slot list empty: both ranges lie behind each other and are
    // cleared in one go. (A leaf's next link is read only while it is in the tree or after
    // it was replaced, so clearing those too changes nothing.)
    static_assert(NODE_COUNT == SLOT_BASE, "leaves and slots adjoin");
    std::memset(&m.link[ROOT_BASE], 0, sizeof(MatchFinder::Link) * (NEXT_COUNT - ROOT_BASE));
    for (int i = 1; i < WINDOW_SIZE - 1; ++i)
        m.link[i].next = static_cast<uint16_t>(i + 1);
    m.link[WINDOW_SIZE - 1].next = 0;
    m.freeNode = 1;
    m.climbLength = 0;
    m.pendingRoot = 0;
}

} // namespace matchfinder
