-- Tallyclock database: two tables and one saved query.
-- Date-times are REAL day counts since 30 December 1899, local wall-clock time,
-- the time of day as the fraction.

-- AUTOINCREMENT: an ID is never given again after its row was deleted, so a period
-- stored under a deleted project's ID never joins a later project.
CREATE TABLE tblProject (
    ProjectID   INTEGER PRIMARY KEY AUTOINCREMENT,
    -- NOCASE: names sort without regard to letter case. The program replaces SQLite's
    -- ASCII-only NOCASE with a Unicode, locale-aware one on its own connections.
    -- No index uses this collation, so other tools that see the ASCII one stay consistent.
    Name        TEXT NOT NULL COLLATE NOCASE,
    Description TEXT NOT NULL
);

-- Column order is fixed: the program reads the rows by position.
-- No enforced foreign key: a timing may be stored for project 0 or a deleted project.
CREATE TABLE tblTimePeriod (
    TimePeriodID INTEGER PRIMARY KEY AUTOINCREMENT,
    ProjectID    INTEGER NOT NULL,
    StartTime    REAL NOT NULL,
    EndTime      REAL NOT NULL
);

-- Serves one project's periods in start order and covers the totals of qryProject.
CREATE INDEX idxTimePeriodProjectStart ON tblTimePeriod (ProjectID, StartTime, EndTime);

-- Lets a report over a span of time seek to it: the periods of zero to one day in start order,
-- the others (longer, negative, a moment missing) apart. The program adds it, with this very
-- text, to a database made before it.
CREATE INDEX IF NOT EXISTS idxTimePeriodSpan ON tblTimePeriod ((EndTime BETWEEN StartTime AND StartTime+1) IS 1, StartTime, EndTime, ProjectID);

-- Every project with its total time in days; Null for a project without periods.
CREATE VIEW qryProject AS
SELECT p.ProjectID   AS ProjectID,
       p.Name        AS Name,
       p.Description AS Description,
       (SELECT SUM(t.EndTime - t.StartTime)
          FROM tblTimePeriod AS t
         WHERE t.ProjectID = p.ProjectID) AS TotalTime
  FROM tblProject AS p;
