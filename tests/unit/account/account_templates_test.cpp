#include <gtest/gtest.h>

#include <set>

#include "resources/login_template.h"
#include "resources/registration_template.h"

namespace kx {
namespace {

TEST(AccountTemplatesTest, EveryControlLiesInsideItsWindowUnderAnIdOfItsOwn) {
    for (const DialogTemplate* dialog : {&LoginTemplate(), &RegistrationTemplate()}) {
        SCOPED_TRACE(dialog->resource_id);
        EXPECT_EQ(dialog->style & style::kSysMenu, 0u);
        std::set<int> ids;
        for (const ControlTemplate& control : dialog->controls) {
            SCOPED_TRACE(control.id);
            EXPECT_TRUE(control.id == kIdStatic || ids.insert(control.id).second);
            EXPECT_GT(control.width, 0);
            EXPECT_GT(control.height, 0);
            EXPECT_LE(control.x + control.width, dialog->width);
            EXPECT_LE(control.y + control.height, dialog->height);
        }
    }
}

}  // namespace
}  // namespace kx
