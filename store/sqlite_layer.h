// The database layer as one include: exception, connection and cursor, statement text and
// binary block.
#pragma once

#include "store/sqlite_database.h"
#include "store/sqlite_exception.h"
#include "store/sqlite_text.h"
