// The stand-ins that the i686 deliverables link for KERNEL32 functions Windows 95 or NT 3.51
// lack (cmake/deliverable_compat.c): linked into this program the same way, they answer the
// runtime's calls through the import pointers; here they are compared with Wine's real ones.
#include <windows.h>

#include <gtest/gtest.h>

namespace {

template <typename Fn>
Fn Real(const char *name) {
    return reinterpret_cast<Fn>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("KERNEL32.DLL"), name)));
}

TEST(DeliverableCompat, CreateSemaphoreWIsTheStandInAndKeepsNameAndLimits) {
    auto real = Real<decltype(&CreateSemaphoreW)>("CreateSemaphoreW");
    ASSERT_NE(real, nullptr);
    EXPECT_NE(&CreateSemaphoreW, real) << "the call went to KERNEL32, not to the stand-in";

    HANDLE named = CreateSemaphoreW(nullptr, 1, 2, L"KompakCompatSemaphore");
    ASSERT_NE(named, nullptr);
    HANDLE again = CreateSemaphoreA(nullptr, 0, 2, "KompakCompatSemaphore");
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS)) << "the name did not arrive";
    LONG previous = -1;
    EXPECT_TRUE(ReleaseSemaphore(named, 1, &previous));
    EXPECT_EQ(previous, 1);
    EXPECT_FALSE(ReleaseSemaphore(named, 1, nullptr)) << "the maximum of 2 did not arrive";
    EXPECT_EQ(WaitForSingleObject(again, 0), WAIT_OBJECT_0);
    CloseHandle(again);
    CloseHandle(named);

    HANDLE unnamed = CreateSemaphoreW(nullptr, 0, 1, nullptr);
    ASSERT_NE(unnamed, nullptr);
    EXPECT_EQ(WaitForSingleObject(unnamed, 0), DWORD(WAIT_TIMEOUT));
    CloseHandle(unnamed);
}

TEST(DeliverableCompat, IsDBCSLeadByteExAnswersAsKernel32DoesForEveryByte) {
    auto real = Real<decltype(&IsDBCSLeadByteEx)>("IsDBCSLeadByteEx");
    ASSERT_NE(real, nullptr);
    EXPECT_NE(&IsDBCSLeadByteEx, real);
    int leadBytes = 0;
    for (UINT codePage : {932u, 936u, 949u, 950u, 1252u, 437u, 850u}) {
        for (int b = 0; b < 256; ++b) {
            const bool expected = real(codePage, BYTE(b)) != FALSE;
            EXPECT_EQ(IsDBCSLeadByteEx(codePage, BYTE(b)) != FALSE, expected)
                << "code page " << codePage << ", byte " << b;
            leadBytes += expected;
        }
    }
    EXPECT_GT(leadBytes, 400) << "the double-byte code pages were not there to compare";
    EXPECT_FALSE(IsDBCSLeadByteEx(65432, 0x81)) << "an unknown code page has no lead bytes";
}

} // namespace
