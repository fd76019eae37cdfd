// The whole database layer in one include.
#pragma once

#include "db/column.h"
#include "db/connection.h"
#include "db/cursor.h"
#include "db/errors.h"
#include "db/strings.h"
#include "db/transaction.h"
