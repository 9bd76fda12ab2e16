<?php
// The shop's front page: its name, the banner when it is on, and the departments.

declare(strict_types=1);

define('KIOSK_SHOP', true);
require __DIR__ . '/variables.php';
require __DIR__ . '/storebanner.php';
require __DIR__ . '/displayStore.php';

if (basketOn()) {
    startSession();
}
$settings = storeSettings();
$departments = departmentNames();

pageStart($settings['storeName']);
echo '<h1 class="page-title">Shop by department</h1>';
if (!$departments) {
    echo '<p class="empty-note">Our shelves are being filled. Please come back soon.</p>';
} else {
    echo '<p class="lead">Welcome to ' . h($settings['storeName']) . '! Choose a department to see what we have.</p>';
    echo '<ul class="department-grid">';
    foreach ($departments as $department) {
        $products = departmentProducts($department);
        $first = $products ? reset($products) : null;
        $picture = $first !== null ? pictureUrl($department, $first['index']) : noImageUrl();
        $count = count($products);
        echo '<li><a class="department-card" href="' . h(departmentUrl($department)) . '">';
        echo '<img src="' . h($picture) . '" alt="" width="600" height="400" loading="lazy">';
        echo '<span class="department-name">' . h(departmentLabel($department)) . '</span>';
        echo '<span class="department-count">' . ($count === 1 ? '1 product' : $count . ' products') . '</span>';
        echo '</a></li>';
    }
    echo '</ul>';
}
pageEnd();
