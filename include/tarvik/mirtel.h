/*
 * libmirtel: one TRVS_ (send) / TRVG_ (get) pair per register command, on
 * top of the request API of libtarvik.
 */
#ifndef TARVIK_MIRTEL_H
#define TARVIK_MIRTEL_H

#include "tarvik/tarvik.h"

#ifdef __cplusplus
extern "C" {
#endif

TARVIK_API TARVIK_STATUS TRVG_Default(const TARVIK_HANDLE hRequest);
TARVIK_API unsigned long TRV_GetHLLibraryVersion(void);

#ifdef __cplusplus
}
#endif

#endif /* TARVIK_MIRTEL_H */
