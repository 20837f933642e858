#include "account/registration_checks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "account/registration_lists.h"

namespace kx {
namespace {

TEST(RegistrationChecksTest, IsValidEmailJudgesTheShapeOfTheAddress) {
    struct Case {
        std::string address;
        bool valid;
    } const cases[] = {
        {"a@b.c", true},
        {"a@bc", false},
        {"a@b.c.", true},
        {"a@.b.c", false},
        {"a@b..c", false},
        {".a@b.c", true},
        {"a.@b.c", false},
        {"a b@c.d", false},
        {"ab.cd", false},
        {"@b.c", false},
        {"a@b@c.d", false},
        {"a@b,c.d", false},
        {"\"a b\"@c.d", false},
        {"\"a\\ b\"@c.d", true},
        {"", false},
        {"a@", false},
        {"a@.", false},
        {"\"a\\\"b\"@c.d", true},
        {"\"a\".b@c.d", true},
        {"x.\"a\"@c.d", true},
        {"\"a\"b@c.d", false},
        {"a\"b@c.d", false},
        {"\"ab@c.d", false},
        {"\"a\\", false},
        {"\"a\\\tb\"@c.d", false},
        {"\"a\tb\"@c.d", false},
        {"a\x7F@b.c", false},
        {"\xE9@b.c", false},
        {"a@b.c\xE9", false},
        {"a@b .c", false},
        {"a@b.c]", false},
        {"first.last+tag@mail.example.com", true},
    };
    for (const Case& c : cases) EXPECT_EQ(IsValidEmail(c.address), c.valid) << c.address;
}

TEST(RegistrationChecksTest, UserNamesRefuseExactlyTheTwentySevenCharacters) {
    const std::string invalid = "()<>@,;:\\\"[]{}!#$%^*+?/|~'`";
    ASSERT_EQ(invalid.size(), 27u);
    for (int byte = 1; byte < 256; ++byte) {
        const char c = static_cast<char>(byte);
        const bool expected = invalid.find(c) == std::string::npos;
        EXPECT_EQ(IsValidUserName(std::string("ab") + c + "cd"), expected) << byte;
    }
    EXPECT_TRUE(IsValidUserName("Joe_Q. Public-1&2=3"));
}

// Starts from a form that passes and spoils one field at a time.
TEST(RegistrationChecksTest, TheFirstFailingCheckIsReported) {
    const RegistrationForm good{"joe", "pw", "pw", "joe@mail.example", "Joe", "Public",
                                "1 Main St", "", "Austin", "Texas", "", "78701",
                                "United States", ""};
    ASSERT_FALSE(CheckRegistrationForm(good).has_value());

    using Change = std::function<void(RegistrationForm&)>;
    const std::string form_caption = "Registration error";
    struct Case {
        Change change;
        std::string message;
        std::string caption;
    } const cases[] = {
        {[](RegistrationForm& f) { f = {}; }, "Username cannot be blank.", form_caption},
        {[](RegistrationForm& f) { f.user_name = "jo!e"; f.password = ""; },
         "Username cannot contain invalid characters.", form_caption},
        {[](RegistrationForm& f) { f.password = ""; f.email = ""; }, "Password cannot be blank.",
         form_caption},
        {[](RegistrationForm& f) { f.confirm_password = "PW"; f.email = ""; },
         "Password and Confirm Password Do not Match", form_caption},
        {[](RegistrationForm& f) { f.email = ""; f.first_name = ""; }, "Email cannot be blank.",
         form_caption},
        {[](RegistrationForm& f) { f.email = "joe@mail"; f.first_name = ""; },
         "Please enter a valid email 'name@example.com'.", form_caption},
        {[](RegistrationForm& f) {
             f.first_name = f.last_name = f.address = f.city = f.state = f.zip = f.country = "";
         },
         "First Name cannot be blank.", form_caption},
        {[](RegistrationForm& f) { f.last_name = ""; f.address = ""; },
         "Last Name cannot be blank.", form_caption},
        {[](RegistrationForm& f) { f.address = ""; f.city = ""; }, "Address cannot be blank.",
         form_caption},
        {[](RegistrationForm& f) { f.city = ""; f.state = ""; }, "City cannot be blank.",
         form_caption},
        {[](RegistrationForm& f) { f.state = ""; f.zip = ""; }, "State cannot be blank.",
         form_caption},
        {[](RegistrationForm& f) { f.zip = ""; f.state = "OTHER"; },
         "Zip / Postal Code cannot be blank.", form_caption},
        {[](RegistrationForm& f) { f.state = "OTHER"; f.country = ""; },
         "You entered other in the State field, please enter your state in the field marked "
         "'Other (State/Province').",
         form_caption},
        {[](RegistrationForm& f) { f.country = ""; }, "Country cannot be blank.", form_caption},
        {[](RegistrationForm& f) { f.state = "OTHER"; f.other_state = "Ontario"; },
         "You have entered 'Other' in the State field, please choose a country other than the "
         "United States",
         "Registration Error"},
    };
    for (const Case& c : cases) {
        RegistrationForm form = good;
        c.change(form);
        const auto fault = CheckRegistrationForm(form);
        ASSERT_TRUE(fault.has_value()) << c.message;
        EXPECT_EQ(fault->message, c.message);
        EXPECT_EQ(fault->caption, c.caption);
    }

    struct Passing {
        Change change;
        const char* why;
    } const passing[] = {
        {[](RegistrationForm& f) { f.user_name = " "; f.password = f.confirm_password = " "; },
         "only spaces are not empty"},
        {[](RegistrationForm& f) { f.state = "Texas"; f.country = "Canada"; },
         "a state with any country"},
        {[](RegistrationForm& f) {
             f.state = "OTHER"; f.other_state = "Ontario"; f.country = "Canada";
         },
         "OTHER outside the United States"},
        {[](RegistrationForm& f) { f.state = "other"; }, "only the exact item OTHER is special"},
    };
    for (const Passing& p : passing) {
        RegistrationForm form = good;
        p.change(form);
        EXPECT_FALSE(CheckRegistrationForm(form).has_value()) << p.why;
    }
}

TEST(RegistrationListsTest, ItemsAndAgreementAreTheServicesOwn) {
    const auto states = StateItems();
    ASSERT_EQ(states.size(), 51u);
    EXPECT_EQ(states.front(), "OTHER");
    EXPECT_EQ(states[1], "Alabama");
    EXPECT_EQ(states.back(), "Wyoming");
    EXPECT_TRUE(std::is_sorted(states.begin() + 1, states.end()));

    const auto countries = CountryItems();
    ASSERT_EQ(countries.size(), 250u);
    EXPECT_EQ(std::set<std::string_view>(countries.begin(), countries.end()).size(), 250u);
    EXPECT_EQ(countries.front(), "United States");
    EXPECT_EQ(countries.back(), "Zimbabwe");
    const auto after = [&](std::string_view name) {
        const auto it = std::find(countries.begin(), countries.end(), name);
        return it + 1 < countries.end() ? *(it + 1) : std::string_view();
    };
    EXPECT_EQ(after("Congo"), "Switzerland");
    EXPECT_EQ(after("Czech Republic"), "Germany");
    EXPECT_EQ(after("Azerbaidjan"), "Bosnia-Herzegovina");

    const auto about = HearAboutItems();
    EXPECT_EQ(std::vector<std::string_view>(about.begin(), about.end()),
              (std::vector<std::string_view>{"Web Search", "Friend", "Publication", "Invitation",
                                             "Other"}));

    const std::string agreement = RegistrationAgreement();
    EXPECT_EQ(agreement.size(), 1165u);
    EXPECT_LT(agreement.size(), kAgreementCapacity);
    EXPECT_EQ(agreement.rfind("Registration Agreement\r\n\r\n (please read each statement)\r\n"
                              "\r\n " + std::string(54, '-') + "\r\n(1)Inaccurate",
                              0),
              0u);
    EXPECT_NE(agreement.find("disabled.\r\n\r\n\r\n" + std::string(55, '-') +
                             "\r\n\r\nIf you agree to the above, Click 'I Agree' to continue\r\n"
                             "\r\n"),
              std::string::npos);
}

}  // namespace
}  // namespace kx
