// SPDX-License-Identifier: Apache-2.0
#include "name_list.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "object_kind.h"

namespace {

NameGUIDList_s* makeNode(const char* name)
{
    auto* node = static_cast<NameGUIDList_s*>(calloc(1, sizeof(NameGUIDList_s)));
    strcpy(node->name, name);
    return node;
}

TEST(NameList, AppendLinksInOrderAndMovesTail)
{
    NameGUIDList_s* first = makeNode("P1");
    appendNode(first);
    EXPECT_EQ(listHead, first);
    EXPECT_EQ(listTail, first);

    NameGUIDList_s* second = makeNode("P2");
    appendNode(second);
    EXPECT_EQ(listHead, first);
    EXPECT_EQ(first->next, second);
    EXPECT_EQ(listTail, second);
    EXPECT_EQ(second->next, nullptr);
    discardList();
}

TEST(NameList, ConsumingTheLastNodeEmptiesHeadAndTail)
{
    NameGUIDList_s* only = makeNode("V1");
    appendNode(only);
    EXPECT_EQ(takeFirstNode(), only);
    EXPECT_EQ(listHead, nullptr);
    EXPECT_EQ(listTail, nullptr);
    EXPECT_EQ(takeFirstNode(), nullptr);
    free(only);
}

static_assert(sizeof(NameGUIDList_s::name) == 256);
static_assert(sizeof(NameGUIDList_s::guidText) == 38);

struct AdminPathCase {
    int32_t kind;
    const char* name;
    const char* expected;
};

class AdminPath : public testing::TestWithParam<AdminPathCase> {};

TEST_P(AdminPath, UsesTheFormatOfTheKind)
{
    const AdminPathCase& c = GetParam();
    char path[ADMIN_PATH_SIZE];
    ASSERT_EQ(formatAdminPath(c.kind == 1 ? POOL_KIND : VOLUME_KIND, path, sizeof path, c.name), 0);
    EXPECT_STREQ(path, c.expected);
}

INSTANTIATE_TEST_SUITE_P(Kinds, AdminPath,
                         testing::Values(AdminPathCase{1, "P1", "_admin:\\pools\\P1"},
                                         AdminPathCase{0, "V1", "_admin:\\volumes\\V1"},
                                         // any value but 1 means volumes
                                         AdminPathCase{2, "V2", "_admin:\\volumes\\V2"},
                                         AdminPathCase{1, "", "_admin:\\pools\\"}));

TEST(AdminPathBound, RefusesAPathThatDoesNotFit)
{
    char path[21];  // 16 + 4 + NUL
    EXPECT_EQ(formatAdminPath(VOLUME_KIND, path, sizeof path - 1, "abcd"), -1);
    EXPECT_EQ(formatAdminPath(VOLUME_KIND, path, sizeof path, "abcd"), 0);
}

}  // namespace
