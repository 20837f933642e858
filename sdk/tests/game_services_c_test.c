/*
 * A game written in C playing Word Maze's conversation with the console's own
 * game services (run by kx_sdk_console_host on a private session bus):
 *
 *   game_services_c_test           the play, then the console checks the score
 *   game_services_c_test --alone   no console on the bus: create must fail
 */

#include <kestrix/game_services_c.h>

#include <stdio.h>
#include <string.h>

static int failures = 0;

#define CHECK(cond)                                                       \
    do {                                                                  \
        if (!(cond)) {                                                    \
            fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #cond); \
            ++failures;                                                   \
        }                                                                 \
    } while (0)

#define CHECK_HR(expected, call)                                                   \
    do {                                                                           \
        kx_game_result hr_ = (call);                                               \
        if (hr_ != (expected)) {                                                   \
            fprintf(stderr, "%s:%d: %s answered %s, expected %s\n", __FILE__, __LINE__, \
                    #call, kx_game_result_name(hr_), kx_game_result_name(expected)); \
            ++failures;                                                            \
        }                                                                          \
    } while (0)

static const double kVersion = 1.5;

/* A client that never initialised is refused everything of the play. */
static void CallsBeforeInitializeAreRefused(void) {
    kx_game_services* services = NULL;
    KXTOURINFOSTRUCT info;
    char value[64] = "untouched";

    CHECK_HR(KX_GAME_S_OK, kx_game_services_create(&services, 5000));
    CHECK(services != NULL);
    memset(&info, 0, sizeof info);
    info.dwSize = sizeof info;
    CHECK_HR(KX_GAME_E_NOTINITIALIZED, kx_game_get_game_info(services, &info));
    CHECK(info.dwTournID == 0);
    CHECK_HR(KX_GAME_E_NOTINITIALIZED,
             kx_game_get_game_data_item(services, "", "SEED", value, sizeof value));
    CHECK(strcmp(value, "untouched") == 0);
    CHECK_HR(KX_GAME_E_NOTINITIALIZED, kx_game_set_game_data_item(services, "MOVES", "1"));
    CHECK_HR(KX_GAME_E_NOTINITIALIZED, kx_game_end_game(services, 5));
    /* Another game's name does not initialise it either. */
    CHECK_HR(KX_GAME_E_REFUSED, kx_game_initialize(services, "Checkers", kVersion));
    CHECK_HR(KX_GAME_E_NOTINITIALIZED, kx_game_end_game(services, 5));
    kx_game_services_destroy(services);
}

static void ThePlay(void) {
    kx_game_services* services = NULL;
    KXTOURINFOSTRUCT info;
    char value[64];
    char tiny[4] = "abc";
    char exact[9];

    CHECK_HR(KX_GAME_S_OK, kx_game_services_create(&services, 5000));
    if (services == NULL) return;
    CHECK_HR(KX_GAME_S_OK, kx_game_initialize(services, "Word Maze", kVersion));

    memset(&info, 0, sizeof info);
    info.dwSize = sizeof info;
    info.dwHiScore = 77;
    info.szHiPlayer[0] = 'Z';
    info.fJackpot = 12.5;
    info.dwNumGames = 3;
    CHECK_HR(KX_GAME_S_OK, kx_game_get_game_info(services, &info));
    CHECK(info.dwSize == 184);
    CHECK(info.dwTournID == 12);
    CHECK(info.dwNumGames == 0);
    /* The console fills two fields; the rest come back as sent. */
    CHECK(info.dwHiScore == 77);
    CHECK(info.szHiPlayer[0] == 'Z');
    CHECK(info.fJackpot == 12.5);

    CHECK_HR(KX_GAME_S_OK, kx_game_get_game_data_item(services, "", "PLAYID", value, sizeof value));
    CHECK(strcmp(value, "4711") == 0);
    CHECK_HR(KX_GAME_S_OK, kx_game_get_game_data_item(services, "", "SEED", value, sizeof value));
    CHECK(strcmp(value, "20240917") == 0);
    CHECK_HR(KX_GAME_S_OK, kx_game_get_game_data_item(services, "", "LEVEL", value, sizeof value));
    CHECK(strcmp(value, "2") == 0);
    CHECK_HR(KX_GAME_S_OK,
             kx_game_get_game_data_item(services, "", "TIMELIMIT", value, sizeof value));
    CHECK(strcmp(value, "30") == 0);
    CHECK_HR(KX_GAME_E_NOSUCHITEM,
             kx_game_get_game_data_item(services, "", "BONUS", value, sizeof value));

    /* The value and its zero must fit; a refused buffer is left alone. */
    CHECK_HR(KX_GAME_E_BUFFERTOOSMALL,
             kx_game_get_game_data_item(services, "", "SEED", tiny, sizeof tiny));
    CHECK(strcmp(tiny, "abc") == 0);
    CHECK_HR(KX_GAME_E_BUFFERTOOSMALL, kx_game_get_game_data_item(services, "", "SEED", exact, 8));
    CHECK_HR(KX_GAME_S_OK, kx_game_get_game_data_item(services, "", "SEED", exact, 9));
    CHECK(strcmp(exact, "20240917") == 0);
    /* "Gr\u20ACn" is four characters but six bytes in UTF-8. */
    CHECK_HR(KX_GAME_E_BUFFERTOOSMALL, kx_game_get_game_data_item(services, "", "MOTTO", exact, 6));
    CHECK_HR(KX_GAME_S_OK, kx_game_get_game_data_item(services, "", "MOTTO", exact, 7));
    CHECK(strcmp(exact, "Gr\xE2\x82\xACn") == 0);

    CHECK_HR(KX_GAME_S_OK, kx_game_set_game_data_item(services, "MOVES", "17"));
    CHECK_HR(KX_GAME_S_OK, kx_game_set_game_data_item(services, "WORDS", "4"));
    CHECK_HR(KX_GAME_S_OK, kx_game_end_game(services, 1234));
    CHECK_HR(KX_GAME_E_REFUSED, kx_game_end_game(services, 99));
    kx_game_services_destroy(services);
}

static void NamesAndPointers(void) {
    KXTOURINFOSTRUCT info;
    char value[8];
    kx_game_services* services = NULL;

    CHECK(strcmp(kx_game_result_name(KX_GAME_S_OK), "S_OK") == 0);
    CHECK(strcmp(kx_game_result_name(KX_GAME_E_BUFFERTOOSMALL), "KX_E_BUFFERTOOSMALL") == 0);
    CHECK(strcmp(kx_game_result_name((kx_game_result)0x12345678), "0x12345678") == 0);
    CHECK(KX_GAME_SUCCEEDED(KX_GAME_S_DOWNLOADRUNNING));
    CHECK(KX_GAME_FAILED(KX_GAME_E_REFUSED));

    CHECK_HR(KX_GAME_E_POINTER, kx_game_services_create(NULL, 1000));
    CHECK_HR(KX_GAME_E_POINTER, kx_game_initialize(NULL, "Word Maze", kVersion));
    CHECK_HR(KX_GAME_E_POINTER, kx_game_get_game_info(NULL, &info));
    CHECK_HR(KX_GAME_E_POINTER, kx_game_get_game_data_item(NULL, "", "SEED", value, sizeof value));
    CHECK_HR(KX_GAME_E_POINTER, kx_game_end_game(NULL, 1));
    kx_game_services_destroy(NULL);

    CHECK_HR(KX_GAME_S_OK, kx_game_services_create(&services, 5000));
    CHECK_HR(KX_GAME_E_POINTER, kx_game_initialize(services, NULL, kVersion));
    CHECK_HR(KX_GAME_E_POINTER, kx_game_get_game_info(services, NULL));
    CHECK_HR(KX_GAME_E_POINTER, kx_game_get_game_data_item(services, "", "SEED", NULL, 8));
    CHECK_HR(KX_GAME_E_POINTER, kx_game_set_game_data_item(services, "MOVES", NULL));
    kx_game_services_destroy(services);
}

static void CreateFailsWithoutAConsole(void) {
    kx_game_services* services = (kx_game_services*)&failures;
    CHECK_HR(KX_GAME_CO_E_SERVER_EXEC_FAILURE, kx_game_services_create(&services, 2000));
    CHECK(services == NULL);
}

int main(int argc, char** argv) {
    if (argc > 1 && strcmp(argv[1], "--alone") == 0) {
        CreateFailsWithoutAConsole();
    } else {
        CallsBeforeInitializeAreRefused();
        NamesAndPointers();
        ThePlay();
    }
    if (failures != 0) fprintf(stderr, "%d check(s) failed\n", failures);
    return failures == 0 ? 0 : 1;
}
