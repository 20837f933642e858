#ifndef KESTRIX_GAME_SERVICES_C_H
#define KESTRIX_GAME_SERVICES_C_H

/*
 * The Kestrix game SDK for C and for anything that binds to C (game engines,
 * Python's ctypes, other languages' foreign-function interfaces). The same
 * services as kestrix/game_services.h, in the same library, behind an opaque
 * handle. C99 or later, or C++.
 *
 * Texts are UTF-8, zero-terminated. Every call answers a kx_game_result and
 * never lets an exception or a crash out: a null handle or a null text is
 * KX_GAME_E_POINTER. A handle is not thread-safe; call it from one thread at
 * a time.
 */

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#define KX_GAME_API
#elif defined(__GNUC__)
#define KX_GAME_API __attribute__((visibility("default")))
#else
#define KX_GAME_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* A 32-bit result code with the COM values: non-negative is success. */
typedef int32_t kx_game_result;

/* The codes are written as their bits, as in the system's own headers. */
#ifdef __cplusplus
#define KX_GAME_RESULT(bits) static_cast<kx_game_result>(bits)
#else
#define KX_GAME_RESULT(bits) ((kx_game_result)(bits))
#endif

#define KX_GAME_SUCCEEDED(hr) (KX_GAME_RESULT(hr) >= 0)
#define KX_GAME_FAILED(hr) (KX_GAME_RESULT(hr) < 0)

#define KX_GAME_S_OK KX_GAME_RESULT(0x00000000u)
#define KX_GAME_S_FALSE KX_GAME_RESULT(0x00000001u)
/* GetCommandStatus: the handle's download still runs. */
#define KX_GAME_S_DOWNLOADRUNNING KX_GAME_RESULT(0x00040000u)
#define KX_GAME_E_NOTIMPL KX_GAME_RESULT(0x80004001u)
#define KX_GAME_E_POINTER KX_GAME_RESULT(0x80004003u)
#define KX_GAME_E_FAIL KX_GAME_RESULT(0x80004005u)
#define KX_GAME_E_OUTOFMEMORY KX_GAME_RESULT(0x8007000Eu)
#define KX_GAME_E_INVALIDARG KX_GAME_RESULT(0x80070057u)
#define KX_GAME_E_NOTINITIALIZED KX_GAME_RESULT(0x80040064u)
/* Initialize: no active play or another game's; EndGame: a second score. */
#define KX_GAME_E_REFUSED KX_GAME_RESULT(0x80040065u)
#define KX_GAME_E_BUFFERTOOSMALL KX_GAME_RESULT(0x80040067u)
#define KX_GAME_E_NOSUCHITEM KX_GAME_RESULT(0x80040069u)
#define KX_GAME_E_DOWNLOADBUSY KX_GAME_RESULT(0x8004006Bu)
/* The console has gone since create, or the object was released. */
#define KX_GAME_RPC_E_DISCONNECTED KX_GAME_RESULT(0x80010108u)
/* The console did not answer within the timeout. */
#define KX_GAME_RPC_E_TIMEOUT KX_GAME_RESULT(0x8001011Fu)
/* Create: no console serves the name and none could be started. */
#define KX_GAME_CO_E_SERVER_EXEC_FAILURE KX_GAME_RESULT(0x80080005u)
/* Create on Windows: the console was never registered. */
#define KX_GAME_E_CONSOLENOTREGISTERED KX_GAME_RESULT(0x80040154u)

/* Create's timeout when 0 is passed, in milliseconds. */
#define KX_GAME_DEFAULT_TIMEOUT_MS 120000u

#define KX_GAME_HIPLAYER_CHARS 50
#define KX_GAME_ENDDATE_CHARS 20

/* The double sits at offset 120 on every target, also where doubles inside a
 * struct are 4-byte aligned. */
#if defined(__cplusplus)
#define KX_GAME_ALIGN8 alignas(8)
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#define KX_GAME_ALIGN8 _Alignas(8)
#elif defined(__GNUC__)
#define KX_GAME_ALIGN8 __attribute__((aligned(8)))
#elif defined(_MSC_VER)
#define KX_GAME_ALIGN8 __declspec(align(8))
#else
#error "no way to align the tournament record's double to 8 bytes"
#endif

/*
 * The tournament record of GetGameInfo, byte for byte the console's 184 bytes.
 * Texts are UTF-16 code units, zero-terminated. Zero it and set dwSize.
 */
typedef struct KXTOURINFOSTRUCT {
    uint32_t dwSize;
    uint32_t dwTournID;
    uint32_t dwNumGames;
    uint32_t dwHiScore;
    uint16_t szHiPlayer[KX_GAME_HIPLAYER_CHARS];
    KX_GAME_ALIGN8 double fJackpot;
    int32_t bIsPromo;
    uint32_t dwRookieLevel;
    uint32_t dwEndScore;
    uint16_t szEndDate[KX_GAME_ENDDATE_CHARS];
} KXTOURINFOSTRUCT;

#if defined(__cplusplus)
#define KX_GAME_STATIC_ASSERT(cond, name) static_assert(cond, #name)
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#define KX_GAME_STATIC_ASSERT(cond, name) _Static_assert(cond, #name)
#else
/* C99 has no static assertion: an array of negative size stops the build. */
#define KX_GAME_STATIC_ASSERT(cond, name) typedef char kx_game_assert_##name[(cond) ? 1 : -1]
#endif

KX_GAME_STATIC_ASSERT(sizeof(double) == 8, double_is_8_bytes);
KX_GAME_STATIC_ASSERT(offsetof(KXTOURINFOSTRUCT, dwSize) == 0, dwSize_at_0);
KX_GAME_STATIC_ASSERT(offsetof(KXTOURINFOSTRUCT, dwTournID) == 4, dwTournID_at_4);
KX_GAME_STATIC_ASSERT(offsetof(KXTOURINFOSTRUCT, dwNumGames) == 8, dwNumGames_at_8);
KX_GAME_STATIC_ASSERT(offsetof(KXTOURINFOSTRUCT, dwHiScore) == 12, dwHiScore_at_12);
KX_GAME_STATIC_ASSERT(offsetof(KXTOURINFOSTRUCT, szHiPlayer) == 16, szHiPlayer_at_16);
KX_GAME_STATIC_ASSERT(offsetof(KXTOURINFOSTRUCT, fJackpot) == 120, fJackpot_at_120);
KX_GAME_STATIC_ASSERT(offsetof(KXTOURINFOSTRUCT, bIsPromo) == 128, bIsPromo_at_128);
KX_GAME_STATIC_ASSERT(offsetof(KXTOURINFOSTRUCT, dwRookieLevel) == 132, dwRookieLevel_at_132);
KX_GAME_STATIC_ASSERT(offsetof(KXTOURINFOSTRUCT, dwEndScore) == 136, dwEndScore_at_136);
KX_GAME_STATIC_ASSERT(offsetof(KXTOURINFOSTRUCT, szEndDate) == 140, szEndDate_at_140);
KX_GAME_STATIC_ASSERT(sizeof(KXTOURINFOSTRUCT) == 184, record_is_184_bytes);

/* One services object of the console, with its own bus connection. */
typedef struct kx_game_services kx_game_services;

/*
 * Connects to the console and asks it for a services object; a console that
 * is not running is started. timeout_ms bounds this call and every later call
 * of the handle (0: KX_GAME_DEFAULT_TIMEOUT_MS). On success stores the handle
 * in *services; on failure stores NULL there and answers the code the C++
 * KXCommServices::Create gives (KX_GAME_CO_E_SERVER_EXEC_FAILURE,
 * KX_GAME_RPC_E_TIMEOUT, KX_GAME_RPC_E_DISCONNECTED, KX_GAME_E_FAIL), or
 * KX_GAME_E_POINTER when services is NULL.
 */
KX_GAME_API kx_game_result kx_game_services_create(kx_game_services** services,
                                                   uint32_t timeout_ms);

/* Releases the console's object and closes the connection. NULL is ignored. */
KX_GAME_API void kx_game_services_destroy(kx_game_services* services);

KX_GAME_API kx_game_result kx_game_initialize(kx_game_services* services,
                                              const char* client_name, double version);

/* Sends *info and receives the console's record back into it. */
KX_GAME_API kx_game_result kx_game_get_game_info(kx_game_services* services,
                                                 KXTOURINFOSTRUCT* info);

/*
 * Writes the item's value, zero-terminated, into value[0..value_size).
 * KX_GAME_E_BUFFERTOOSMALL when the value and its zero do not fit in
 * value_size bytes. The buffer is written on success only.
 */
KX_GAME_API kx_game_result kx_game_get_game_data_item(kx_game_services* services,
                                                      const char* section, const char* item,
                                                      char* value, size_t value_size);

KX_GAME_API kx_game_result kx_game_refresh_game_data(kx_game_services* services);

KX_GAME_API kx_game_result kx_game_save_url_to_file(kx_game_services* services,
                                                    const char* url, const char* file_name);

KX_GAME_API kx_game_result kx_game_send_file_to_server(kx_game_services* services,
                                                       const char* file_name,
                                                       int32_t delete_after);

KX_GAME_API kx_game_result kx_game_get_command_status(kx_game_services* services);

KX_GAME_API kx_game_result kx_game_cancel_command(kx_game_services* services);

KX_GAME_API kx_game_result kx_game_set_game_data_item(kx_game_services* services,
                                                      const char* item, const char* value);

KX_GAME_API kx_game_result kx_game_end_game(kx_game_services* services, uint32_t score);

/*
 * The code's name ("S_OK", "KX_E_REFUSED", ...) as the C++ ResultName gives
 * it. A code without a name comes back as "0x%08X" in a buffer of the calling
 * thread, valid until its next call. Never NULL.
 */
KX_GAME_API const char* kx_game_result_name(kx_game_result hr);

#ifdef __cplusplus
}
#endif

#endif /* KESTRIX_GAME_SERVICES_C_H */
