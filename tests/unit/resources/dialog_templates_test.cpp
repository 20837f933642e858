#include <gtest/gtest.h>

#include <set>

#include "resources/console_template.h"
#include "resources/download_template.h"
#include "resources/server_wait_template.h"
#include "resources/tip_template.h"

namespace kx {
namespace {

TEST(DialogTemplatesTest, EveryControlLiesInsideItsWindowUnderAnIdOfItsOwn) {
    const std::pair<int, const DialogTemplate*> templates[] = {
        {103, &ServerWaitTemplate()},
        {104, &TipTemplate()},
        {201, &ConsoleTemplate()},
        {251, &DownloadTemplate()},
    };
    for (const auto& [resource_id, dialog] : templates) {
        SCOPED_TRACE(resource_id);
        EXPECT_EQ(dialog->resource_id, resource_id);
        std::set<int> ids;
        for (const ControlTemplate& control : dialog->controls) {
            SCOPED_TRACE(control.id);
            EXPECT_TRUE(control.id == kIdStatic || ids.insert(control.id).second);
            EXPECT_GE(control.x, 0);
            EXPECT_GE(control.y, 0);
            EXPECT_GT(control.width, 0);
            EXPECT_GT(control.height, 0);
            EXPECT_LE(control.x + control.width, dialog->width);
            EXPECT_LE(control.y + control.height, dialog->height);
        }
    }
}

}  // namespace
}  // namespace kx
