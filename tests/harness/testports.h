#pragma once

#include <QtGlobal>

// Ports that no other test on this machine takes from under a test, whichever run or clone it belongs to.
//
// The port numbers are cut into blocks; a block belongs to the one process that holds the lock of its
// file (/tmp/orvanta-test-ports-<uid>/block-<n>.lock, flock) and is free again the moment that process
// ends, however it ends. Two uses:
// - an install tree holds a block for its life and gives its programs ORV_PORT_OFFSET, so that the
//   emulators of two trees start their port searches in different blocks (each above the product's own
//   bases 20000, 25000, ... by the block's offset);
// - freePort() hands out ports of a block of this process in 10000-14999, below the kernel's range of
//   ports for outgoing connections, for tests that start a guest on a port of their choosing.
class TestPortBlock
{
public:
    // Claims a free block, waiting (bounded) while every block is held. Invalid when none came free.
    TestPortBlock();
    ~TestPortBlock();
    TestPortBlock(const TestPortBlock &) = delete;
    TestPortBlock &operator=(const TestPortBlock &) = delete;

    bool isValid() const { return m_index > 0; }
    // 1 .. kBlocks-1 (block 0, the product's own start, is left to real installations).
    int index() const { return m_index; }
    // What the block adds to each of the emulator's port bases.
    int productOffset() const { return m_index * kBlockSize; }
    // The first of the block's ports for guests that tests start themselves.
    int guestPortBase() const { return kGuestPortBase + m_index * kBlockSize; }

    static constexpr int kBlockSize = 100;
    static constexpr int kBlocks = 50; // 50 * 100 stays below the 5000 between two product bases
    static constexpr int kGuestPortBase = 10000;

private:
    int m_index = 0;
    int m_fd = -1;
};

namespace TestPorts {

// A port of this process's block that nothing listens on now; ports of the block are handed out in turn,
// so a port given out is not given again until the block's other 99 were.
quint16 freePort();

} // namespace TestPorts
