"""The web console in a real browser: headless Chromium driven by Selenium, against the gateway
and a napi-sim fleet on 127.0.0.1."""

import time

import pytest
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support import expected_conditions as EC
from selenium.webdriver.support.ui import WebDriverWait

import browser
from conftest import PTZ_STOP, WRITE, Gateway, Sim


@pytest.fixture(scope="module")
def fleet(workdir):
    sim = Sim(3, workdir)
    gateway = Gateway([dict(row, name=f"cam{i + 1}") for i, row in enumerate(sim.rows)], workdir)
    yield sim, gateway
    gateway.close()
    sim.close()


@pytest.fixture
def driver():
    d = browser.start()
    yield d
    browser.stop(d)


def wait(driver, condition, timeout=15):
    return WebDriverWait(driver, timeout).until(condition)


def open_device(driver, gateway, section):
    driver.get(f"http://127.0.0.1:{gateway.port}/#token={WRITE}")
    rows = wait(driver, lambda d: d.find_elements(By.CSS_SELECTOR, "tr.device"))
    assert [r.get_attribute("data-id") for r in rows] == ["cam1", "cam2", "cam3"]
    rows[0].click()
    wait(driver, EC.element_to_be_clickable((By.ID, "tab-" + section))).click()


def plan_and_apply(driver, expected_path):
    driver.find_element(By.ID, "plan").click()
    table = wait(driver, EC.visibility_of_element_located((By.ID, "plan-table")))
    assert expected_path in table.text
    wait(driver, EC.element_to_be_clickable((By.ID, "apply"))).click()
    result = wait(driver, EC.visibility_of_element_located((By.ID, "apply-result")))
    assert "result-ok" in result.find_element(By.TAG_NAME, "h3").get_attribute("class"), result.text
    assert expected_path in driver.find_element(By.ID, "verified").text


def test_change_the_bitrate_see_the_plan_apply_it(fleet, driver):
    sim, gateway = fleet
    open_device(driver, gateway, "video")
    field = wait(driver, EC.visibility_of_element_located((By.ID, "f-bitrate")))
    field.clear()
    field.send_keys("2048")
    plan_and_apply(driver, "video_ports.0.encoder.bitrate")
    assert sim.state(0)["videoPorts"][0]["encoder"]["bitrate"] == 2048
    # The form now shows what was read back.
    assert wait(driver, lambda d: d.find_element(By.ID, "f-bitrate").get_attribute("value") == "2048")


def test_draw_and_drag_a_mask_rectangle_and_apply_it(fleet, driver):
    sim, gateway = fleet
    open_device(driver, gateway, "regions")
    picture = wait(driver, EC.visibility_of_element_located((By.ID, "picture")))
    assert picture.size == {"width": 352, "height": 288}
    center = (176, 144)  # offsets are taken from the picture's centre
    ActionChains(driver).move_to_element_with_offset(picture, 20 - center[0], 30 - center[1]).click_and_hold() \
        .move_by_offset(50, 40).move_by_offset(50, 40).release().perform()
    def field(name):
        return int(driver.find_element(By.ID, f"f-mask-{name}").get_attribute("value"))

    # The picture may sit at a fractional position on the page, so the corner may round either way.
    drawn = {name: field(name) for name in ("left", "top", "width", "height")}
    assert abs(drawn["left"] - 20) <= 1 and abs(drawn["top"] - 30) <= 1
    assert abs(drawn["width"] - 100) <= 1 and abs(drawn["height"] - 80) <= 1
    box = driver.find_element(By.ID, "region-mask")
    ActionChains(driver).move_to_element(box).click_and_hold().move_by_offset(30, 20).move_by_offset(30, 20) \
        .release().perform()
    assert (field("left"), field("top")) == (drawn["left"] + 60, drawn["top"] + 40)
    plan_and_apply(driver, "video_ports.0.privacy_mask.left")
    mask = sim.state(0)["videoPorts"][0]["mask"]
    assert (mask["left"], mask["top"], mask["width"], mask["height"]) == \
        (drawn["left"] + 60, drawn["top"] + 40, drawn["width"], drawn["height"])


def test_hold_a_ptz_direction_then_release(fleet, driver):
    sim, gateway = fleet
    open_device(driver, gateway, "ptz")
    right = wait(driver, EC.element_to_be_clickable((By.ID, "ptz-right")))
    sim.call("clear-requests", device=0)
    ActionChains(driver).click_and_hold(right).pause(1.0).release().perform()
    assert wait(driver, lambda d: sim.ptz_actions(0)[-1:] == [PTZ_STOP], timeout=5)
    actions = sim.ptz_actions(0)
    assert actions[0] == 4 and set(actions[:-1]) == {4}  # moves right (renewed while held), then one stop
    assert sim.state(0)["videoPorts"][0]["ptz"]["action"] == 0
    # The arrow keys do the same.
    sim.call("clear-requests", device=0)
    ActionChains(driver).key_down(Keys.ARROW_UP).pause(0.3).key_up(Keys.ARROW_UP).perform()
    assert wait(driver, lambda d: sim.ptz_actions(0)[-1:] == [PTZ_STOP], timeout=5)
    assert sim.ptz_actions(0)[0] == 1


def test_hiding_the_page_stops_a_held_move(fleet, driver):
    sim, gateway = fleet
    open_device(driver, gateway, "ptz")
    left = wait(driver, EC.element_to_be_clickable((By.ID, "ptz-left")))
    sim.call("clear-requests", device=0)
    ActionChains(driver).click_and_hold(left).perform()
    assert wait(driver, lambda d: sim.ptz_actions(0)[:1] == [3])
    driver.execute_script("window.dispatchEvent(new Event('blur'))")
    assert wait(driver, lambda d: sim.ptz_actions(0)[-1:] == [PTZ_STOP], timeout=3)
    time.sleep(0.6)  # the pad renews no more once stopped
    assert sim.ptz_actions(0)[-1:] == [PTZ_STOP]
    ActionChains(driver).release().perform()


def test_texts_follow_the_browser_language(fleet):
    _, gateway = fleet
    d = browser.start(language="zh-CN")
    try:
        d.get(f"http://127.0.0.1:{gateway.port}/#token={WRITE}")
        wait(d, lambda x: x.find_elements(By.CSS_SELECTOR, "tr.device"))
        assert d.find_element(By.ID, "home").text == "设备列表"
        d.find_element(By.CSS_SELECTOR, "tr.device").click()
        assert wait(d, EC.visibility_of_element_located((By.ID, "tab-video"))).text == "视频参数"
    finally:
        browser.stop(d)
