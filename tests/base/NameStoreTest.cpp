// CNameStore: stored names stay whole and terminated as others follow them.
#include "base/NameStore.h"

#include <gtest/gtest.h>

#include <string>

TEST(NameStoreTest, NamesKeepTheirTerminatorsAndOutgrowABlock) {
    CNameStore store;
    const std::string large(3 << 20, 'n');
    const CStringViewA first = store.Store("ab");
    store.Store("cd");
    const CStringViewA second = store.Store(large.c_str());
    EXPECT_STREQ(first.GetData(), "ab");
    EXPECT_EQ(std::string(second.GetData()), large);
}
