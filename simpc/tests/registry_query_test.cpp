// RtlQueryRegistryValues as kernel code sees it: direct queries of each
// value type, the type check, defaults, optional and required keys.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "ntddk.h"
#include "simpc/pc.h"

namespace {

const char kKey[] = "\\Registry\\Machine\\System\\CurrentControlSet\\Services\\probe\\Parameters";
const WCHAR kKeyWide[] = L"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\probe\\Parameters";
const WCHAR kName[] = L"Value";

class RegistryQueryTest : public ::testing::Test {
  protected:
    NTSTATUS QueryDirect(PVOID target, ULONG flags = RTL_QUERY_REGISTRY_DIRECT,
                         ULONG default_type = REG_NONE, PVOID default_data = nullptr,
                         ULONG default_length = 0, ULONG relative_to = RTL_REGISTRY_ABSOLUTE) {
        RTL_QUERY_REGISTRY_TABLE table[2];
        std::memset(table, 0, sizeof(table));
        table[0].Flags = flags;
        table[0].Name = const_cast<PWSTR>(kName);
        table[0].EntryContext = target;
        table[0].DefaultType = default_type;
        table[0].DefaultData = default_data;
        table[0].DefaultLength = default_length;
        return RtlQueryRegistryValues(relative_to, kKeyWide, table, nullptr, nullptr);
    }
    simpc::Pc pc_;
};

TEST_F(RegistryQueryTest, DirectDwordIsStoredInTheUlong) {
    pc_.registry().SetValue(kKey, "value", simpc::RegistryValue::Dword(0x12345678));
    ULONG value = 0;
    EXPECT_EQ(QueryDirect(&value), STATUS_SUCCESS);
    EXPECT_EQ(value, 0x12345678u);
}

TEST_F(RegistryQueryTest, DirectStringFillsTheUnicodeStringEntryContextPointsTo) {
    pc_.registry().SetValue(kKey, "Value", simpc::RegistryValue::String("LPT2"));
    WCHAR storage[8] = {};
    UNICODE_STRING text = {0, sizeof(storage), storage};
    EXPECT_EQ(QueryDirect(&text), STATUS_SUCCESS);
    EXPECT_EQ(text.Length, 8);
    EXPECT_EQ(storage[3], L'2');
    EXPECT_EQ(storage[4], 0);

    UNICODE_STRING small = {0, 4, storage};
    EXPECT_EQ(QueryDirect(&small), STATUS_BUFFER_TOO_SMALL);
}

TEST_F(RegistryQueryTest, DirectLongBinaryNeedsASizedBuffer) {
    pc_.registry().SetValue(kKey, "Value", simpc::RegistryValue::Binary({1, 2, 3, 4, 5, 6}));
    // A positive size: length, type, then the data.
    ULONG sized[4] = {sizeof(sized), 0, 0, 0};
    EXPECT_EQ(QueryDirect(sized), STATUS_SUCCESS);
    EXPECT_EQ(sized[0], 6u);
    EXPECT_EQ(sized[1], static_cast<ULONG>(REG_BINARY));
    // A ULONG holding a small positive number is a buffer too small.
    ULONG one = 1;
    EXPECT_EQ(QueryDirect(&one), STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(one, 1u);
}

TEST_F(RegistryQueryTest, TypeCheckRefusesAnotherTypeWithoutWriting) {
    pc_.registry().SetValue(kKey, "Value", simpc::RegistryValue::String("3"));
    ULONG value = 7;
    EXPECT_EQ(QueryDirect(&value, RTL_QUERY_REGISTRY_DIRECT | RTL_QUERY_REGISTRY_TYPECHECK,
                          REG_DWORD | (REG_DWORD << RTL_QUERY_REGISTRY_TYPECHECK_SHIFT)),
              STATUS_OBJECT_TYPE_MISMATCH);
    EXPECT_EQ(value, 7u);
}

TEST_F(RegistryQueryTest, MissingValueTakesTheDefaultOrFailsWhenRequired) {
    pc_.registry().CreateKey(kKey);
    ULONG fallback = 42;
    ULONG value = 0;
    EXPECT_EQ(QueryDirect(&value, RTL_QUERY_REGISTRY_DIRECT, REG_DWORD, &fallback, sizeof(ULONG)),
              STATUS_SUCCESS);
    EXPECT_EQ(value, 42u);
    EXPECT_EQ(QueryDirect(&value, RTL_QUERY_REGISTRY_DIRECT | RTL_QUERY_REGISTRY_REQUIRED),
              STATUS_OBJECT_NAME_NOT_FOUND);
}

TEST_F(RegistryQueryTest, MissingKeyFailsUnlessOptional) {
    ULONG value = 5;
    EXPECT_EQ(QueryDirect(&value, RTL_QUERY_REGISTRY_DIRECT, REG_NONE, nullptr, 0,
                          RTL_REGISTRY_ABSOLUTE),
              STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(QueryDirect(&value, RTL_QUERY_REGISTRY_DIRECT, REG_NONE, nullptr, 0,
                          RTL_REGISTRY_ABSOLUTE | RTL_REGISTRY_OPTIONAL),
              STATUS_SUCCESS);
    EXPECT_EQ(value, 5u);
}

TEST_F(RegistryQueryTest, KeyAndValueNamesIgnoreCase) {
    pc_.registry().SetValue("\\REGISTRY\\machine\\SYSTEM\\CurrentControlSet\\services\\PROBE\\parameters",
                            "VALUE", simpc::RegistryValue::Dword(9));
    ULONG value = 0;
    EXPECT_EQ(QueryDirect(&value), STATUS_SUCCESS);
    EXPECT_EQ(value, 9u);
}

}  // namespace
