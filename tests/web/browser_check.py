#!/usr/bin/python3
# The browser side of the web page's end-to-end test: headless chromium through chromium-driver logs
# in, finds the call, plays it, marks it read, blocks the caller and, when told on standard input,
# deletes the call. Prints one word per step done; any failure exits non-zero with the reason.
import sys
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support import expected_conditions as EC
from selenium.webdriver.support.ui import WebDriverWait

url, password, number, shots, profile = sys.argv[1:6]


def step(word):
    print(word, flush=True)


options = webdriver.ChromeOptions()
options.binary_location = "/usr/bin/chromium"
for arg in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
            "--autoplay-policy=no-user-gesture-required", "--no-first-run", "--user-data-dir=" + profile,
            "--window-size=1280,844"):
    options.add_argument(arg)
# The page's certificate is the one Kalvo made for itself.
options.accept_insecure_certs = True
driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
wait = WebDriverWait(driver, 30)
try:
    driver.get(url)
    wait.until(EC.visibility_of_element_located((By.ID, "password"))).send_keys(password)
    driver.find_element(By.CSS_SELECTOR, "#loginForm button[type=submit]").click()
    row = wait.until(EC.presence_of_element_located((By.CSS_SELECTOR, "#calls li.call.unread")))
    assert number in row.text, row.text
    step("listed")
    for width, height, mobile in ((390, 844, True), (1280, 800, False)):
        driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                               {"width": width, "height": height, "deviceScaleFactor": 1, "mobile": mobile})
        time.sleep(0.5)
        driver.save_screenshot("%s/web-%dx%d.png" % (shots, width, height))

    row.find_element(By.CSS_SELECTOR, "button.play").click()
    try:
        played = wait.until(lambda d: d.execute_script(
            "const a = document.querySelector('#calls li.call audio');"
            "return a && !a.paused && a.currentTime > 0 ? a.currentTime : false;"))
    except Exception:
        raise SystemExit("not playing: " + str(driver.execute_script(
            "const a = document.querySelector('#calls li.call audio');"
            "return [a.src, a.paused, a.currentTime, a.readyState, a.networkState, a.error && a.error.message,"
            " document.getElementById('status').textContent];")))
    step("played %.2f" % played)
    # Playing marks the call read; the mark button then offers the way back, and again the mark.
    wait.until(lambda d: d.find_elements(By.CSS_SELECTOR, "#calls li.call:not(.unread)"))
    driver.find_element(By.CSS_SELECTOR, "#calls li.call button.mark").click()
    wait.until(lambda d: d.find_elements(By.CSS_SELECTOR, "#calls li.call.unread"))
    driver.find_element(By.CSS_SELECTOR, "#calls li.call button.mark").click()
    wait.until(lambda d: d.find_elements(By.CSS_SELECTOR, "#calls li.call:not(.unread)"))
    step("marked")

    driver.find_element(By.CSS_SELECTOR, "#calls li.call button.block").click()
    wait.until(EC.text_to_be_present_in_element((By.ID, "status"), "Blocked"))
    step("blocked")

    if sys.stdin.readline().strip() != "delete":
        raise SystemExit("not told to delete")
    driver.find_element(By.CSS_SELECTOR, "#calls li.call button.delete").click()
    wait.until(EC.alert_is_present()).accept()
    wait.until(EC.text_to_be_present_in_element((By.ID, "status"), "No calls yet."))
    step("deleted")
finally:
    driver.quit()
