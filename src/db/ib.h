// The whole database layer in one include.
#pragma once

#include "db/command.h"
#include "db/connection.h"
#include "db/cursor.h"
#include "db/database_session.h"
#include "db/errors.h"
#include "db/query.h"
#include "db/transaction.h"
