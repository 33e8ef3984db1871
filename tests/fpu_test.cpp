// The floating-point state across a notice: the caller's state survives the box, the box runs on
// a clean unit, and concurrent notices do not mix their states.
#include <gtest/gtest.h>
#include <string.h>

#include <atomic>
#include <thread>
#include <vector>

#include "notices/notices.h"
#include "tests/fake_platform.h"

#if defined(__i386__) || defined(__x86_64__)

namespace {

// The x87 full-state image, as FNSAVE writes it in protected mode.
struct x87_state {
    unsigned short control;
    unsigned short control_high;
    unsigned short status;
    unsigned short status_high;
    unsigned short tag;
    unsigned short tag_high;
    unsigned char pointers[16];
    unsigned char registers[80];
};
static_assert(sizeof(x87_state) == 108, "x87 image layout");

// Reads the unit's state without disturbing it.
x87_state read_x87() {
    x87_state state;
    __asm__ __volatile__("fnsave %0\n\tfrstor %0" : "=m"(state));
    return state;
}

// Puts the unit into a state far from the initial one: single precision, rounding toward zero,
// three values on the stack and the divide-by-zero flag raised.
void disturb_x87(unsigned short control) {
    static const double one = 1.0, three = 3.0, zero = 0.0;
    __asm__ __volatile__(
        "fninit\n\t"
        "fldcw %0\n\t"
        "fldl %1\n\t"
        "fldl %2\n\t"
        "fldl %1\n\t"
        "fldl %3\n\t"
        "fdivrp\n\t"  // 1 / 0 with the exception masked: sets the flag, leaves +inf
        :
        : "m"(control), "m"(one), "m"(three), "m"(zero)
        : "memory");
}

void clear_x87() {
    __asm__ __volatile__("fninit");
}

bool same_state(const x87_state& a, const x87_state& b) {
    return a.control == b.control && a.status == b.status && a.tag == b.tag &&
           memcmp(a.registers, b.registers, sizeof a.registers) == 0;
}

// The control word for single precision, rounding toward zero, all exceptions masked.
const unsigned short caller_control = 0x0C3F;

TEST(FpuState, CallerStateSurvivesTheBoxAndTheBoxGetsACleanUnit) {
    fake::reset();
    x87_state inside{};
    fake::on_message_box = [&inside](const char*, const char*) {
        inside = read_x87();
        disturb_x87(0x0F7F);  // the box's own work: other precision and rounding, more values
    };
    disturb_x87(caller_control);
    x87_state before = read_x87();
    show_notice("text");
    x87_state after = read_x87();
    clear_x87();

    EXPECT_TRUE(same_state(before, after));
    EXPECT_EQ(after.control & 0x0F00, caller_control & 0x0F00) << "precision and rounding";
    EXPECT_EQ(after.status & 0x0004, 0x0004) << "divide-by-zero flag";
    EXPECT_EQ(inside.control, 0x037F);
    EXPECT_EQ(inside.status & 0x3FFF, 0) << "flags and stack top";
    EXPECT_EQ(inside.tag, 0xFFFF) << "all registers empty";
}

TEST(FpuState, SaveAndRestoreRoundTrip) {
    unsigned char image[fpu_state_size];
    memset(image, 0xA5, sizeof image);
    disturb_x87(caller_control);
    x87_state before = read_x87();
    save_fpu_state(image);
    x87_state initial = read_x87();
    restore_fpu_state(image);
    x87_state after = read_x87();
    clear_x87();

    EXPECT_TRUE(same_state(before, after));
    EXPECT_EQ(initial.control, 0x037F);
    EXPECT_EQ(initial.tag, 0xFFFF);
}

TEST(FpuState, ConcurrentNoticesKeepEachCallersState) {
    fake::reset();
    std::atomic<int> unclean_boxes{0};
    fake::on_message_box = [&unclean_boxes](const char*, const char*) {
        x87_state inside = read_x87();
        if (inside.control != 0x037F || inside.tag != 0xFFFF) {
            ++unclean_boxes;
        }
        disturb_x87(0x0F7F);
        std::this_thread::yield();
    };
    const int thread_count = 6;
    std::atomic<int> mixed_states{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < thread_count; ++t) {
        threads.emplace_back([t, &mixed_states] {
            // Precision and rounding differ from thread to thread.
            unsigned short control =
                static_cast<unsigned short>(0x003F | (t % 4) << 10 | (t % 3) << 8);
            for (int round = 0; round < 50; ++round) {
                disturb_x87(control);
                x87_state before = read_x87();
                show_notice("text");
                x87_state after = read_x87();
                if (!same_state(before, after)) {
                    ++mixed_states;
                }
            }
            clear_x87();
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(mixed_states.load(), 0);
    EXPECT_EQ(unclean_boxes.load(), 0);
}

}  // namespace

#endif
