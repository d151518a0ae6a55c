-- The point-of-sale schemas that Kestrune reads, as far as it reads them.
-- Used by the test servers, the demo and the benchmark; never by the agent.
SET NAMES utf8mb4;

CREATE DATABASE IF NOT EXISTS company CHARACTER SET utf8mb4;
CREATE TABLE IF NOT EXISTS company.maininfo (
  id INT AUTO_INCREMENT PRIMARY KEY,
  compname VARCHAR(255), compfolder VARCHAR(255), mustID INT,
  machID VARCHAR(128), yedeklemehash VARCHAR(255), raporlamahash VARCHAR(255)
) CHARACTER SET utf8mb4;

CREATE DATABASE IF NOT EXISTS stocks CHARACTER SET utf8mb4;
CREATE TABLE IF NOT EXISTS stocks.stckdef (
  id INT AUTO_INCREMENT PRIMARY KEY,
  stcode BIGINT, type INT, gra INT, grb INT, grc INT,
  stname VARCHAR(400), unit VARCHAR(64), depart INT,
  KEY (stcode), KEY (stname)
) CHARACTER SET utf8mb4;

CREATE DATABASE IF NOT EXISTS satislar CHARACTER SET utf8mb4;
CREATE TABLE IF NOT EXISTS satislar.shopcharts (
  transid BIGINT, adisno INT, ordtyp INT,
  cashsum DOUBLE, credsum DOUBLE, ceksum DOUBLE, senetsum DOUBLE, carisum DOUBLE,
  ikramsum DOUBLE, isknt DOUBLE, puantaj DOUBLE, toplam DOUBLE,
  tmstmp DATETIME, KEY (tmstmp)
) CHARACTER SET utf8mb4;
CREATE TABLE IF NOT EXISTS satislar.shpchrtarch LIKE satislar.shopcharts;

CREATE DATABASE IF NOT EXISTS oturum CHARACTER SET utf8mb4;
CREATE TABLE IF NOT EXISTS oturum.orderitems (
  Id INT, transid BIGINT, ordtype INT, adsno INT, orderid INT, itemid INT, itemidx INT,
  stcode BIGINT, adet INT, qua DOUBLE, prc DOUBLE, tutar DOUBLE, status INT, reason INT,
  cost DOUBLE, kdv INT, time DATETIME, KEY (time)
) CHARACTER SET utf8mb4;
CREATE TABLE IF NOT EXISTS oturum.orderitarch LIKE oturum.orderitems;

CREATE DATABASE IF NOT EXISTS banks CHARACTER SET utf8mb4;
CREATE TABLE IF NOT EXISTS banks.moves (
  Id INT AUTO_INCREMENT PRIMARY KEY, amount DOUBLE, time DATETIME, KEY (time)
) CHARACTER SET utf8mb4;
CREATE DATABASE IF NOT EXISTS cekler CHARACTER SET utf8mb4;
CREATE TABLE IF NOT EXISTS cekler.moves LIKE banks.moves;
CREATE DATABASE IF NOT EXISTS kasa CHARACTER SET utf8mb4;
CREATE TABLE IF NOT EXISTS kasa.moves LIKE banks.moves;

CREATE DATABASE IF NOT EXISTS expenses CHARACTER SET utf8mb4;
CREATE TABLE IF NOT EXISTS expenses.grpb (
  id INT AUTO_INCREMENT PRIMARY KEY, acode INT, bcode INT, name VARCHAR(400)
) CHARACTER SET utf8mb4;
CREATE TABLE IF NOT EXISTS expenses.expenses (
  id INT AUTO_INCREMENT PRIMARY KEY, code INT, bcode INT, name VARCHAR(400)
) CHARACTER SET utf8mb4;
CREATE TABLE IF NOT EXISTS expenses.moves (
  Id INT AUTO_INCREMENT PRIMARY KEY, transid BIGINT, giderkodu INT, odemtip INT,
  amount DOUBLE, time DATETIME, donem DATE, imgfilename VARCHAR(400), islendi INT DEFAULT 0,
  KEY (donem)
) CHARACTER SET utf8mb4;
CREATE TABLE IF NOT EXISTS expenses.notes (
  id INT AUTO_INCREMENT PRIMARY KEY, trid BIGINT, note TEXT, KEY (trid)
) CHARACTER SET utf8mb4;
