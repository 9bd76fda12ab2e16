<?php
// Hands the private order list to the kioskSmith program, and to nobody else.
//
// Only a POST whose X-Kiosk-Order-Key header holds the shop's secret (store/orderkey.php, written
// by the program's upload) gets the list; the secret never travels in the address, which ends up
// in logs. The answer is the line KIOSK_ORDER_LIST_MARK and then the list's records as stored.

declare(strict_types=1);

define('KIOSK_SHOP', true);
ini_set('zlib.output_compression', '0');
require __DIR__ . '/variables.php';

const KIOSK_ORDER_LIST_MARK = "kioskSmith order list 1\r\n";

header('Cache-Control: no-store');
header('Content-Type: text/plain; charset=UTF-8');

function refuse(int $status, string $text): never
{
    http_response_code($status);
    echo $text, "\n";
    exit;
}

if (($_SERVER['REQUEST_METHOD'] ?? 'GET') !== 'POST') {
    refuse(404, 'Not Found');
}
$key = @include KIOSK_ORDER_KEY_FILE;
if (!is_string($key) || strlen($key) < 32) {
    refuse(503, 'This shop has no order key yet. Refresh the whole store from kioskSmith.');
}
$given = $_SERVER['HTTP_X_KIOSK_ORDER_KEY'] ?? '';
if (!is_string($given) || !hash_equals($key, $given)) {
    refuse(403, 'Forbidden');
}

header('Content-Type: application/octet-stream');
$file = @fopen(KIOSK_ORDERS_FILE, 'rb');
if ($file === false) {
    // No order has been placed yet.
    echo KIOSK_ORDER_LIST_MARK;
    exit;
}
// Shared: an order being added is either wholly in the answer or not at all.
if (!flock($file, LOCK_SH)) {
    refuse(503, 'The order list is busy. Try again.');
}
if (fread($file, strlen(KIOSK_PRIVATE_HEAD)) !== KIOSK_PRIVATE_HEAD) {
    refuse(500, 'The order list is damaged: it lacks its first line.');
}
$size = (int) fstat($file)['size'] - strlen(KIOSK_PRIVATE_HEAD);
set_time_limit(0);
header('Content-Length: ' . (strlen(KIOSK_ORDER_LIST_MARK) + $size));
echo KIOSK_ORDER_LIST_MARK;
while ($size > 0 && !feof($file)) {
    $chunk = fread($file, min($size, 1 << 16));
    if ($chunk === false || $chunk === '') {
        break;
    }
    echo $chunk;
    $size -= strlen($chunk);
    flush();
}
flock($file, LOCK_UN);
fclose($file);
